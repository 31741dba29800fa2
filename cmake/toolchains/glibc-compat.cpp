// glibc-compat.cpp: linked into every program of a build against an older C library (glibc 2.31:
// SHORELINE_SYSROOT_LIBC, cmake/OlderGlibc.cmake).
//
// The C++ runtime and the unwinder that those programs link statically were compiled against the cross
// compiler's glibc 2.36, and refer to three things that older C libraries lack. This file defines them in
// the program itself, hidden (never exported: on a newer glibc the program still uses these, and glibc and
// the other libraries their own):
//   __libc_single_threaded (2.32)  read by the reference counting to skip atomic operations while a
//                                  process has one thread; here always 0, "maybe more than one", so the
//                                  counts are always atomic, as the runtime does without the variable
//   _dl_find_object (2.35)         the unwinder's way to the exception tables of the code at an address;
//                                  answered here from the program headers, as the unwinder did before
//   arc4random (2.36)              random bits for std::random_device("arc4random"); from getrandom()
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <link.h>
#include <sys/random.h>

namespace {

#ifdef __arm__
constexpr uint32_t kEhSegment = PT_ARM_EXIDX; // ARM's exception index table, 8 bytes an entry
#else
constexpr uint32_t kEhSegment = PT_GNU_EH_FRAME;
#endif

} // namespace

extern "C" {

[[gnu::visibility("hidden")]] char __libc_single_threaded = 0;

// The layout of glibc 2.36's struct dl_find_object on the targets built this way.
struct dl_find_object {
    unsigned long long dlfo_flags;
    void* dlfo_map_start; // the object's mapping
    void* dlfo_map_end;
    struct link_map* dlfo_link_map;
    void* dlfo_eh_frame; // PT_GNU_EH_FRAME (32-bit ARM: PT_ARM_EXIDX)
#ifdef __arm__
    int dlfo_eh_count; // entries of the ARM index table
    unsigned int dlfo_eh_count_pad;
#endif
    unsigned long long dlfo_reserved[7];
};

[[gnu::visibility("hidden")]] int _dl_find_object(void* pc, struct dl_find_object* result);
[[gnu::visibility("hidden")]] uint32_t arc4random(void);

} // extern "C"

namespace {

struct find_request {
    uintptr_t pc;
    dl_find_object* result;
};

// dl_iterate_phdr callback: 1 (stop) once the object whose loaded segments hold pc is found.
int find_in_object(dl_phdr_info* info, size_t, void* data) {
    auto* request = static_cast<find_request*>(data);
    uintptr_t start = UINTPTR_MAX, end = 0;
    bool holds_pc = false;
    const ElfW(Phdr)* eh = nullptr;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& segment = info->dlpi_phdr[i];
        uintptr_t low = info->dlpi_addr + segment.p_vaddr;
        if (segment.p_type == PT_LOAD) {
            if (low < start) start = low;
            if (low + segment.p_memsz > end) end = low + segment.p_memsz;
            holds_pc = holds_pc || (request->pc >= low && request->pc - low < segment.p_memsz);
        } else if (segment.p_type == kEhSegment) {
            eh = &segment;
        }
    }
    if (!holds_pc) return 0;
    dl_find_object* r = request->result;
    *r = dl_find_object{};
    r->dlfo_map_start = reinterpret_cast<void*>(start);
    r->dlfo_map_end = reinterpret_cast<void*>(end);
    if (eh) {
        r->dlfo_eh_frame = reinterpret_cast<void*>(info->dlpi_addr + eh->p_vaddr);
#ifdef __arm__
        r->dlfo_eh_count = static_cast<int>(eh->p_memsz / 8);
#endif
    }
    return 1;
}

} // namespace

extern "C" int _dl_find_object(void* pc, struct dl_find_object* result) {
    find_request request{reinterpret_cast<uintptr_t>(pc), result};
    return dl_iterate_phdr(find_in_object, &request) ? 0 : -1;
}

extern "C" uint32_t arc4random(void) {
    uint32_t value;
    for (;;) {
        ssize_t n = getrandom(&value, sizeof value, 0);
        if (n == static_cast<ssize_t>(sizeof value)) return value;
        if (n < 0 && errno != EINTR) abort(); // as glibc's: no randomness is not survivable
    }
}
