#include "base/console.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace {

[[gnu::format(printf, 2, 0)]] void print_line(std::FILE* stream, const char* fmt,
                                              std::va_list args) {
  (void)std::vfprintf(stream, fmt, args);
  (void)std::fputc('\n', stream);
}

}  // namespace

void say(const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  print_line(stdout, fmt, args);
  va_end(args);
}

void fail(const char* fmt, ...) {
  std::va_list args;
  va_start(args, fmt);
  print_line(stdout, fmt, args);
  va_end(args);
  std::exit(1);
}

void fail_err(const char* fmt, ...) {
  // A log taken with 2>&1 must keep run order, and stdout may be a buffered pipe.
  (void)std::fflush(stdout);
  std::va_list args;
  va_start(args, fmt);
  print_line(stderr, fmt, args);
  va_end(args);
  std::exit(1);
}
