#include "base/console.hpp"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "base/messages.hpp"

namespace {

// Set once a line was not written whole; the stream's own error flag can be cleared by others.
bool g_output_lost = false;

[[gnu::format(printf, 2, 0)]] void print_line(std::FILE* stream, const char* fmt,
                                              std::va_list args) {
  if (std::vfprintf(stream, fmt, args) < 0 || std::fputc('\n', stream) == EOF) {
    g_output_lost = true;
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
  std::exit(finish_output(1));
}

void fail_err(const char* fmt, ...) {
  // A log taken with 2>&1 must keep run order, and stdout may be a buffered pipe.
  if (std::fflush(stdout) != 0) {
    g_output_lost = true;
  }
  std::va_list args;
  va_start(args, fmt);
  print_line(stderr, fmt, args);
  va_end(args);
  std::exit(finish_output(1));
}

int finish_output(int status) {
  // Lines still in the buffer are written only now: a full disk shows here, not at say().
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || g_output_lost) {
    (void)std::fprintf(stderr, "%s\n", msg::k_output_lost);
    return 1;
  }
  return status;
}
