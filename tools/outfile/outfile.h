// outfile.h: how the developer tools write files. Every file is written under a temporary name beside its
// final name and renamed onto it only when complete, so a failed or interrupted tool never leaves a file
// that looks finished. Missing folders on the way to a file are created. Devices and pipes (/dev/null,
// /dev/full, a FIFO) are written in place. A file-size limit (RLIMIT_FSIZE) shows as a failed write, reported
// and cleaned up like a full disk: out_open makes the process ignore SIGXFSZ, which would otherwise end it
// with the temporary file left behind.
//
// USAGE: out_open -> fwrite into .f -> out_commit (checks every byte reached the file) or out_abort;
// write_whole_file does all three for bytes in memory. Failures come with a one-line message in *err.
#pragma once
#include <cstddef>
#include <cstdio>
#include <string>

constexpr size_t kPathMax = 4096;

struct out_file {
    FILE* f = nullptr;
    bool direct = false; // the target is not a regular file: written in place, never renamed
    char path[kPathMax] = {};
    char temp[kPathMax] = {};
};

// Writes into dst the temporary name used for final: ".tmp-PID-N." + its base name in the same folder
// (so the rename stays on one file system and the extension still tells tools the format). Thread-safe.
bool temp_name_for(const char* final_path, char* dst, size_t size);

// Creates the folders that lead to path (like mkdir -p on its folder part); false with a message naming
// the folder that cannot be made.
bool make_parent_folders(const char* path, std::string* err);

// Creates the folders that lead to path, then the temporary file (or opens a device in place).
bool out_open(out_file* of, const char* path, std::string* err);
bool out_commit(out_file* of, std::string* err);
void out_abort(out_file* of); // closes and removes the temporary file; safe on a closed out_file

// Renames a finished temporary file onto its final name (for files written by another program).
bool commit_temp(const char* temp, const char* final_path, std::string* err);

// Writes size bytes as the whole file at path.
bool write_whole_file(const char* path, const void* data, size_t size, std::string* err);
