#include "base/platform.hpp"

#include <sys/stat.h>

// The one place where the Windows build differs from the POSIX ones.
#ifdef _WIN32
#include <io.h>
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
  return _access(path, 0) != -1;
#else
  return access(path, F_OK) != -1;
#endif
}

std::FILE* create_new_file(const char* path) {
#ifdef _WIN32
  // Windows has no links to follow by accident; an old package was removed just before.
  return std::fopen(path, "wb");
#else
  const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  std::FILE* const file = fd < 0 ? nullptr : fdopen(fd, "wb");
  if (fd >= 0 && file == nullptr) {
    (void)close(fd);
  }
  return file;
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
