#pragma once

#include <cstdio>
#include <ctime>
#include <memory>

// Closes a stdio stream when it goes out of scope; a close error on a stream only read is moot.
struct file_closer {
  void operator()(std::FILE* file) const { (void)std::fclose(file); }
};
using unique_file = std::unique_ptr<std::FILE, file_closer>;

// True when the open stream is a directory: some systems let fopen open one for reading.
bool is_directory(std::FILE* file);

// True when something exists at path (the existence test of access with mode 0).
bool path_exists(const char* path);

// Creates path as a new file for binary writing; null when anything is there already, a dangling
// link included, so that the file written is always the one a failure can remove.
std::FILE* create_new_file(const char* path);

// The current local date and time.
std::tm local_time_now();
