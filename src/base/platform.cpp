#include "base/platform.hpp"

#include <sys/stat.h>

#include <cerrno>
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

bool path_exists(const char* path) {
#ifdef _WIN32
  // The attributes of a link are its own: a link whose target is gone is still found.
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
#else
  struct stat info {};
  return lstat(path, &info) == 0;
#endif
}

file_identity identify_file(const char* path) {
#ifdef _WIN32
  // Opening for no access at all reads the file's information even while others hold it open;
  // the backup flag lets a folder be opened too.
  const HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return {};
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool read = GetFileInformationByHandle(handle, &info) != 0;
  (void)CloseHandle(handle);
  if (!read) {
    return {};
  }
  return {true, info.dwVolumeSerialNumber,
          (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
#else
  struct stat info {};
  if (stat(path, &info) != 0) {
    return {};
  }
  return {true, static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
#endif
}

std::FILE* create_temporary_file(char* path_template) {
#ifdef _WIN32
  // The runtime's _mktemp gives a process only 26 names a template; these come from the clock,
  // the process and a counter, and _O_EXCL makes sure the file is a new one.
  static constexpr char k_digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  static std::uint64_t counter = 0;
  char* const x = path_template + std::strlen(path_template) - 6;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::uint64_t value = (GetTickCount64() << 16) ^ (std::uint64_t{GetCurrentProcessId()} << 32) ^
                          (++counter * 0x9E3779B97F4A7C15u);
    for (int i = 0; i < 6; ++i, value /= 36) {
      x[i] = k_digits[value % 36];
    }
    const int fd = _open(path_template, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                         _S_IREAD | _S_IWRITE);
    if (fd >= 0) {
      std::FILE* const file = _fdopen(fd, "wb");
      if (file == nullptr) {
        (void)_close(fd);
        (void)std::remove(path_template);
      }
      return file;
    }
    if (errno != EEXIST) {
      return nullptr;
    }
  }
  return nullptr;
#else
  const int fd = mkstemp(path_template);
  if (fd < 0) {
    return nullptr;
  }
  std::FILE* const file = fdopen(fd, "wb");
  if (file == nullptr) {
    (void)close(fd);
    (void)std::remove(path_template);
  }
  return file;
#endif
}

bool finish_file(std::FILE* file) {
  bool kept = std::fflush(file) == 0;
#ifdef _WIN32
  kept = kept && _commit(_fileno(file)) == 0;
#else
  const int fd = fileno(file);
  const mode_t mask = umask(0);
  (void)umask(mask);
  // A file system without Unix permissions refuses this; its files are usable all the same.
  (void)fchmod(fd, 0666 & ~mask);
  // A file system that cannot force its data out says so with EINVAL; nothing is lost there.
  kept = kept && (fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP);
#endif
  return std::fclose(file) == 0 && kept;
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

std::tm utc_time(std::time_t seconds) {
  std::tm utc{};
#ifdef _WIN32
  const bool converted = gmtime_s(&utc, &seconds) == 0;
#else
  const bool converted = gmtime_r(&seconds, &utc) != nullptr;
#endif
  if (!converted) {
    utc = std::tm{};
    utc.tm_year = std::numeric_limits<int>::max();
  }
  return utc;
}
