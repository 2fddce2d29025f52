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

// Which file a path leads to, links followed: device and inode number, or on Windows the volume
// serial number and file index, with its size and whether it is a plain file. Two paths name the
// same file when both are found and their identities are equal, however differently they are
// spelt. The converse does not hold everywhere: file systems that fold case (FAT and exFAT through
// FUSE) give two spellings of one name different numbers.
struct file_identity {
  bool found = false;
  bool regular = false;  // a plain file, whose bytes can be read again
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
};
file_identity identify_file(const char* path);
inline bool is_same_file(const file_identity& a, const file_identity& b) {
  return a.found && b.found && a.device == b.device && a.file == b.file;
}

// What stands at a path itself, a link not followed: which file, its size and when it was last
// written and changed (on Windows, made). A file put there later differs in some part, even where
// the file system hands out the same number again. Not found when nothing is there.
struct entry_stamp {
  bool found = false;
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t written = 0;
  std::int64_t changed = 0;
  bool operator==(const entry_stamp&) const = default;
};
entry_stamp stamp_entry(const char* path);

// Removes what stands at path (a file, a link, or where the system's remove takes one, an empty
// folder) only while it is the one stamp describes, checked just before the removal; on Windows
// on the very handle that removes it. False when nothing was removed.
bool remove_if_unchanged(const char* path, const entry_stamp& stamp);

// Creates a file without a name in folder (O_TMPFILE) for binary writing, made as any new file
// is (mode 0666 less the umask, the folder's default ACL), so that a run stopped while writing it
// leaves nothing behind. Null where the system or the folder's file system has no such files.
std::FILE* create_unnamed_file(const char* folder);

// Gives the unnamed file open as stream the name path, where nothing may be yet. False when it
// cannot; errno is EEXIST when something is at path.
bool name_unnamed_file(std::FILE* stream, const char* path);

// Creates a new file at path for binary writing, made as any new file is; null when something is
// at path already (errno EEXIST) or the file cannot be made.
std::FILE* create_new_file(const char* path);

// Flushes the stream and forces its file's bytes to the disk. False when anything written may
// be lost.
bool force_to_disk(std::FILE* stream);

// Puts the file at from in the place of to, replacing a file there in one step: a reader of to
// sees the old file or the new one, never a mixture, and the new name is forced to the disk.
// False when it failed; from is then as it was.
bool replace_file(const char* from, const char* to);

// Makes a write to a closed pipe fail as an error the program sees, instead of ending it at once
// with SIGPIPE; Windows has no such signal.
void report_broken_pipes();

// Windows opens a device such as NUL or COM1 for any path whose last part is its name.
#ifdef _WIN32
inline constexpr bool k_device_names_reserved = true;
#else
inline constexpr bool k_device_names_reserved = false;
#endif

// The current local date and time.
std::tm local_time_now();

// The date and time in UTC seconds after 1970 began, alike on every platform whatever the
// width of its time_t; a year past an int's range gives the nearest int.
std::tm utc_time(std::int64_t seconds);
