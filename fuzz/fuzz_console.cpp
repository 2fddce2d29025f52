// Console for the fuzz targets, in place of base/console.cpp. Every line is still
// formatted, so a format and its arguments are checked on each call, but it is printed only when
// ZIVAVOD_FUZZ_VERBOSE is set (to follow one input), and a failure throws run_ended instead of
// ending the process.
#include "fuzz_console.hpp"

#include <array>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/console.hpp"

namespace {

[[gnu::format(printf, 2, 0)]] void print_line(std::FILE* stream, const char* fmt,
                                              std::va_list args) {
  static const bool verbose = std::getenv("ZIVAVOD_FUZZ_VERBOSE") != nullptr;
  std::array<char, 4096> line{};
  (void)std::vsnprintf(line.data(), line.size(), fmt, args);
  if (verbose) {
    (void)std::fprintf(stream, "%s\n", line.data());
  }
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
  throw run_ended{1};
}

void fail_err(const char* fmt, ...) {
  (void)std::fflush(stdout);
  std::va_list args;
  va_start(args, fmt);
  print_line(stderr, fmt, args);
  va_end(args);
  throw run_ended{1};
}
