// glibc_compat_check: a build against an older C library (SHORELINE_SYSROOT_LIBC) only; cross-check.sh
// --suite runs it under qemu with that release's C library. What cmake/toolchains/glibc-compat.cpp stands
// in for must work as the newer glibc's own: exceptions unwind through the program's frames, the C
// library's and another thread's only when _dl_find_object finds each object's tables (without it every
// throw ends in std::terminate); std::random_device draws through arc4random.
// A plain program, not a GoogleTest one, so that it needs nothing of the target but the C library.
// Exit status 0 when every check passed; the last line counts them.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

int passed = 0, failed = 0;

void check(bool ok, const char* what) {
    ++(ok ? passed : failed);
    if (!ok) printf("FAILED: %s\n", what);
}

[[gnu::noinline]] int throw_below(int depth) {
    if (depth == 0) throw std::runtime_error("from below");
    return throw_below(depth - 1) + 1; // not a tail call: every level keeps a frame
}

int throwing_compare(const void*, const void*) {
    throw std::out_of_range("from qsort's callback");
}

template <typename E, typename F> bool throws(F f) {
    try {
        f();
    } catch (const E&) {
        return true;
    }
    return false;
}

} // namespace

int main() {
    check(throws<std::runtime_error>([] { throw_below(20); }), "an exception through the program's frames");
    // Through the C library's frames: qsort calls back into the program, which throws.
    int values[8] = {5, 3, 7, 1, 8, 2, 6, 4};
    check(throws<std::out_of_range>([&values] { qsort(values, 8, sizeof values[0], throwing_compare); }),
          "an exception through qsort");
    // On another thread, whose stack starts in the C library's thread start.
    std::string caught;
    std::thread worker([&caught] {
        try {
            throw_below(3);
        } catch (const std::exception& e) {
            caught = e.what();
        }
    });
    worker.join();
    check(caught == "from below", "an exception on a second thread");

    std::random_device device("arc4random");
    std::set<unsigned> drawn;
    for (int i = 0; i < 64; ++i) drawn.insert(device());
    check(drawn.size() > 60, "64 random draws mostly different"); // a repeat of 32 bits is all but impossible

    printf("glibc_compat_check: %d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
