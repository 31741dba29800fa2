// outfile.cpp: atomic output files for the developer tools (see outfile.h).
#include "outfile.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string describe(const char* what, const char* path, int error) {
    return std::string(what) + " '" + path + "': " + strerror(error);
}

} // namespace

bool temp_name_for(const char* final_path, char* dst, size_t size) {
    static std::atomic<unsigned> serial{0}; // capture's PNG writer thread names files too
    const char* slash = strrchr(final_path, '/');
    int dir_len = slash ? static_cast<int>(slash - final_path + 1) : 0;
    const char* base = final_path + dir_len;
    int n = snprintf(dst, size, "%.*s.tmp-%ld-%u.%s", dir_len, final_path, static_cast<long>(getpid()),
                     ++serial, base);
    return n > 0 && static_cast<size_t>(n) < size;
}

bool make_parent_folders(const char* path, std::string* err) {
    char folder[kPathMax];
    const char* slash = strrchr(path, '/');
    if (!slash || slash == path) return true;
    const size_t len = static_cast<size_t>(slash - path);
    if (len >= sizeof folder) {
        *err = std::string("output name too long: '") + path + "'";
        return false;
    }
    memcpy(folder, path, len);
    folder[len] = '\0';
    // As mkdir -p: every prefix that ends before a '/', then the folder itself.
    for (size_t i = 1; i <= len; ++i) {
        if (i < len && folder[i] != '/') continue;
        folder[i] = '\0';
        struct stat st;
        if (stat(folder, &st) != 0 && mkdir(folder, 0777) != 0 && errno != EEXIST) {
            *err = describe("cannot create folder", folder, errno);
            return false;
        }
        if (i < len) folder[i] = '/';
    }
    return true;
}

bool out_open(out_file* of, const char* path, std::string* err) {
    signal(SIGXFSZ, SIG_IGN);
    *of = out_file{};
    if (strlen(path) >= sizeof of->path) {
        *err = std::string("output name too long: '") + path + "'";
        return false;
    }
    snprintf(of->path, sizeof of->path, "%s", path);
    struct stat st;
    if (stat(path, &st) == 0 && S_ISDIR(st.st_mode)) {
        *err = std::string("'") + path + "' is a folder";
        return false;
    }
    if (stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
        of->direct = true;
        of->f = fopen(path, "wbe");
        if (!of->f) {
            *err = describe("cannot write", path, errno);
            return false;
        }
        return true;
    }
    if (!temp_name_for(path, of->temp, sizeof of->temp)) {
        *err = std::string("output name too long: '") + path + "'";
        return false;
    }
    if (!make_parent_folders(path, err)) {
        of->temp[0] = '\0';
        return false;
    }
    int fd = open(of->temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *err = describe("cannot create", path, errno);
        of->temp[0] = '\0';
        return false;
    }
    of->f = fdopen(fd, "wb");
    if (!of->f) {
        *err = describe("cannot create", path, errno);
        close(fd);
        unlink(of->temp);
        of->temp[0] = '\0';
        return false;
    }
    return true;
}

bool out_commit(out_file* of, std::string* err) {
    bool ok = fflush(of->f) == 0 && !ferror(of->f);
    int error = errno;
    if (fclose(of->f) != 0 && ok) ok = false, error = errno;
    of->f = nullptr;
    if (!ok) {
        *err = describe("cannot write", of->path, error);
        if (!of->direct) unlink(of->temp);
        of->temp[0] = '\0';
        return false;
    }
    if (of->direct) return true;
    bool renamed = commit_temp(of->temp, of->path, err);
    of->temp[0] = '\0';
    return renamed;
}

void out_abort(out_file* of) {
    if (of->f) fclose(of->f);
    of->f = nullptr;
    if (!of->direct && of->temp[0]) unlink(of->temp);
    of->temp[0] = '\0';
}

bool commit_temp(const char* temp, const char* final_path, std::string* err) {
    if (rename(temp, final_path) != 0) {
        *err = describe("cannot create", final_path, errno);
        unlink(temp);
        return false;
    }
    return true;
}

bool write_whole_file(const char* path, const void* data, size_t size, std::string* err) {
    out_file of;
    if (!out_open(&of, path, err)) return false;
    if (size > 0 && fwrite(data, 1, size, of.f) != size) {
        *err = describe("cannot write", path, errno);
        out_abort(&of);
        return false;
    }
    return out_commit(&of, err);
}
