#pragma once

#include <cstdint>
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

// True when anything is at path, a link that leads nowhere included (the link itself counts).
bool path_exists(const char* path);

// Which file a path leads to, links followed: device and inode number, or on Windows the volume
// serial number and file index. Two paths name the same file exactly when both are found and
// their identities are equal, however differently they are spelt.
struct file_identity {
  bool found = false;
  std::uint64_t device = 0;
  std::uint64_t file = 0;
};
file_identity identify_file(const char* path);
inline bool is_same_file(const file_identity& a, const file_identity& b) {
  return a.found && b.found && a.device == b.device && a.file == b.file;
}

// Creates a new file for binary writing whose name is path_template with its last six
// characters (XXXXXX) replaced, so that no other process writes it; the template then holds the
// name. Readable and writable by the owner only. Null when it cannot be created.
std::FILE* create_temporary_file(char* path_template);

// Flushes the stream, gives its file the permissions a new file gets (0666 less the umask),
// forces its bytes to the disk and closes it. False when anything written may be lost.
bool finish_file(std::FILE* file);

// Puts the file at from in the place of to, replacing a file there in one step: a reader of to
// sees the old file or the new one, never a mixture, and the new name is forced to the disk.
// False when it failed; from is then as it was.
bool replace_file(const char* from, const char* to);

// Windows opens a device such as NUL or COM1 for any path whose last part is its name.
#ifdef _WIN32
inline constexpr bool k_device_names_reserved = true;
#else
inline constexpr bool k_device_names_reserved = false;
#endif

// The current local date and time.
std::tm local_time_now();

// The date and time in UTC seconds after 1970 began. A moment too far ahead for the system to
// convert (an int's years, or past the year 3000 on Windows) gives a year beyond any zip date.
std::tm utc_time(std::time_t seconds);
