#include "base/platform.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

// The one place where the Windows build differs from the POSIX ones.
#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX  // mingw's C++ library defines it already
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// Let the start-up code expand * and ? in arguments, as Windows tools are expected to; this
// definition replaces the runtime's default (no expansion). In a linkage block, as GCC warns
// about an initialised `extern "C" int`.
extern "C" {
int _dowildcard = -1;
}
#else
#include <fcntl.h>
#include <unistd.h>
#endif

bool is_directory(std::FILE* file) {
#ifdef _WIN32
  struct _stat64 info {};
  return _fstat64(_fileno(file), &info) == 0 && (info.st_mode & _S_IFDIR) != 0;
#else
  struct stat info {};
  return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

#ifdef _WIN32
namespace {

// The link itself, not its target, and a folder as well as a file.
constexpr DWORD k_entry_flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;
constexpr DWORD k_share_all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Windows gives 64-bit numbers in two 32-bit halves.
std::uint64_t high_low(DWORD high, DWORD low) { return (std::uint64_t{high} << 32) | low; }

std::int64_t file_time(FILETIME time) {
  return static_cast<std::int64_t>(high_low(time.dwHighDateTime, time.dwLowDateTime));
}

entry_stamp stamp_handle(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  if (GetFileInformationByHandle(handle, &info) == 0) {
    return {};
  }
  return {true,
          info.dwVolumeSerialNumber,
          high_low(info.nFileIndexHigh, info.nFileIndexLow),
          high_low(info.nFileSizeHigh, info.nFileSizeLow),
          file_time(info.ftLastWriteTime),
          file_time(info.ftCreationTime)};
}

}  // namespace
#endif

file_identity identify_file(const char* path) {
#ifdef _WIN32
  // Opening for no access at all reads the file's information even while others hold it open;
  // the backup flag lets a folder be opened too.
  const HANDLE handle = CreateFileA(path, 0, k_share_all, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return {};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool read = GetFileInformationByHandle(handle, &info) != 0;
  const bool regular = GetFileType(handle) == FILE_TYPE_DISK &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  (void)CloseHandle(handle);
  if (!read) {
    return {};
  }
  return {true, regular, info.dwVolumeSerialNumber,
          high_low(info.nFileIndexHigh, info.nFileIndexLow),
          high_low(info.nFileSizeHigh, info.nFileSizeLow)};
#else
  struct stat info {};
  if (stat(path, &info) != 0) {
    return {};
  }
  return {true, S_ISREG(info.st_mode), static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino), static_cast<std::uint64_t>(info.st_size)};
#endif
}

#ifndef _WIN32
namespace {

std::int64_t nanoseconds(const struct timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * 1000000000 + time.tv_nsec;
}

}  // namespace
#endif

entry_stamp stamp_entry(const char* path) {
#ifdef _WIN32
  const HANDLE handle =
      CreateFileA(path, 0, k_share_all, nullptr, OPEN_EXISTING, k_entry_flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    // Something the system will not open (a device name, a file it holds locked) still stands
    // there, and is never taken for a later file.
    return {GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const entry_stamp stamp = stamp_handle(handle, info);
  (void)CloseHandle(handle);
  return stamp.found ? stamp : entry_stamp{true};
#else
  struct stat info {};
  if (lstat(path, &info) != 0) {
    return {};
  }
  return {true,
          static_cast<std::uint64_t>(info.st_dev),
          static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::uint64_t>(info.st_size),
          nanoseconds(info.st_mtim),
          nanoseconds(info.st_ctim)};
#endif
}

bool remove_if_unchanged(const char* path, const entry_stamp& stamp) {
#ifdef _WIN32
  // Asked to be deleted through the handle that was checked: no other file can come between.
  const HANDLE handle =
      CreateFileA(path, DELETE, k_share_all, nullptr, OPEN_EXISTING, k_entry_flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return false;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  FILE_DISPOSITION_INFO disposition{TRUE};
  // The C library's remove takes no folder here; neither does this.
  const bool removed = stamp_handle(handle, info) == stamp &&
                       (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
                       SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                                  sizeof disposition) != 0;
  (void)CloseHandle(handle);
  return removed;
#else
  // No system call removes a name only if it still leads to a given file; the check comes right
  // before the removal, which leaves a window of two system calls.
  return stamp.found && stamp_entry(path) == stamp && std::remove(path) == 0;
#endif
}

std::FILE* create_unnamed_file([[maybe_unused]] const char* folder) {
#if defined(O_TMPFILE)
  const int fd = open(folder, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* const file = fdopen(fd, "wb");
  if (file == nullptr) {
    (void)close(fd);
  }
  return file;
#else
  return nullptr;
#endif
}

bool name_unnamed_file([[maybe_unused]] std::FILE* stream, [[maybe_unused]] const char* path) {
#if defined(O_TMPFILE)
  // /proc names the open file for anyone; the empty path needs a privilege few processes hold.
  const std::string self = "/proc/self/fd/" + std::to_string(fileno(stream));
  if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0) {
    return true;
  }
  return errno != EEXIST && linkat(fileno(stream), "", AT_FDCWD, path, AT_EMPTY_PATH) == 0;
#else
  errno = ENOTSUP;
  return false;
#endif
}

std::FILE* create_new_file(const char* path) {
#ifdef _WIN32
  const int fd =
      _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
#else
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
#endif
  if (fd < 0) {
    return nullptr;
  }
#ifdef _WIN32
  std::FILE* const file = _fdopen(fd, "wb");
  if (file == nullptr) {
    (void)_close(fd);
    (void)std::remove(path);
  }
#else
  std::FILE* const file = fdopen(fd, "wb");
  if (file == nullptr) {
    (void)close(fd);
    (void)std::remove(path);
  }
#endif
  return file;
}

bool force_to_disk(std::FILE* stream) {
  if (std::fflush(stream) != 0) {
    return false;
  }
#ifdef _WIN32
  return _commit(_fileno(stream)) == 0;
#else
  // A file system that cannot force its data out says so with EINVAL; nothing is lost there.
  return fsync(fileno(stream)) == 0 || errno == EINVAL || errno == ENOTSUP;
#endif
}

void report_broken_pipes() {
#ifndef _WIN32
  (void)std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool replace_file(const char* from, const char* to) {
#ifdef _WIN32
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
  if (std::rename(from, to) != 0) {
    return false;
  }
  // The new name is on the disk only once its folder is; a folder that cannot be synced is left
  // as it is, the rename itself having succeeded.
  const std::string_view path(to);
  const std::size_t slash = path.find_last_of('/');
  const std::string folder(slash == std::string_view::npos ? "." : path.substr(0, slash + 1));
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    (void)fsync(fd);
    (void)close(fd);
  }
  return true;
#endif
}

std::tm local_time_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  (void)localtime_s(&local, &now);
#else
  (void)localtime_r(&now, &local);
#endif
  return local;
}

std::tm utc_time(std::int64_t seconds) {
  // The civil date from the day count, in the Gregorian calendar's 400-year cycles of 146097
  // days, counted from 0000-03-01 so that a leap day ends its year. 64-bit arithmetic alone: the
  // C library's time_t has 32 bits in some builds and its converters stop at different years.
  constexpr std::int64_t k_seconds_a_day = 86400;
  constexpr std::int64_t k_days_a_cycle = 146097;
  constexpr std::int64_t k_days_to_1970 = 719468;  // from 0000-03-01 to 1970-01-01
  std::int64_t days = seconds / k_seconds_a_day;
  std::int64_t in_day = seconds % k_seconds_a_day;
  if (in_day < 0) {
    in_day += k_seconds_a_day;
    --days;
  }
  days += k_days_to_1970;
  const std::int64_t cycle = (days >= 0 ? days : days - (k_days_a_cycle - 1)) / k_days_a_cycle;
  const std::int64_t day_of_cycle = days - cycle * k_days_a_cycle;
  const std::int64_t year_of_cycle = (day_of_cycle - day_of_cycle / 1460 + day_of_cycle / 36524 -
                                      day_of_cycle / (k_days_a_cycle - 1)) /
                                     365;
  const std::int64_t day_of_year =
      day_of_cycle - (365 * year_of_cycle + year_of_cycle / 4 - year_of_cycle / 100);
  const std::int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const std::int64_t year =
      year_of_cycle + cycle * 400 + (month_from_march >= 10 ? 1 : 0);  // January, February
  std::tm utc{};
  utc.tm_sec = static_cast<int>(in_day % 60);
  utc.tm_min = static_cast<int>(in_day / 60 % 60);
  utc.tm_hour = static_cast<int>(in_day / 3600);
  utc.tm_mday = static_cast<int>(day_of_year - (153 * month_from_march + 2) / 5 + 1);
  utc.tm_mon =
      static_cast<int>(month_from_march < 10 ? month_from_march + 2 : month_from_march - 10);
  constexpr std::int64_t k_int_max = std::numeric_limits<int>::max();
  constexpr std::int64_t k_int_min = std::numeric_limits<int>::min();
  utc.tm_year = static_cast<int>(std::clamp(year - 1900, k_int_min, k_int_max));
  return utc;
}
