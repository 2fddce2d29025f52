// Test-only allocator shim, preloaded into zivavod with LD_PRELOAD: the Nth malloc of one size
// fails as if the heap were exhausted, so each buffer's failure line can be seen on the real
// program without any hook in it. Settings come from the environment:
//   ZIVAVOD_FAIL_MALLOC_SIZE  the size in bytes to watch
//   ZIVAVOD_FAIL_MALLOC_NTH   which allocation of that size fails, counted from 1 (default 1)
#include <errno.h>
#include <stdlib.h>

#include <cstddef>

// glibc's own allocator, whose reserved name is glibc's choice.
// NOLINTNEXTLINE(bugprone-reserved-identifier,readability-identifier-naming)
extern "C" void* __libc_malloc(std::size_t size);

namespace {

std::size_t g_fail_size = 0;
unsigned long g_fail_nth = 1;
unsigned long g_seen = 0;
bool g_configured = false;

// Decimal only, and no library call that could allocate: this runs inside malloc.
unsigned long parse_decimal(const char* text, unsigned long fallback) {
  if (text == nullptr || *text == '\0') {
    return fallback;
  }
  unsigned long value = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') {
      return fallback;
    }
    value = value * 10 + static_cast<unsigned long>(*p - '0');
  }
  return value;
}

void configure() {
  g_configured = true;
  g_fail_size = parse_decimal(getenv("ZIVAVOD_FAIL_MALLOC_SIZE"), 0);
  g_fail_nth = parse_decimal(getenv("ZIVAVOD_FAIL_MALLOC_NTH"), 1);
}

}  // namespace

extern "C" void* malloc(std::size_t size) noexcept {
  if (!g_configured) {
    configure();
  }
  if (g_fail_size != 0 && size == g_fail_size && ++g_seen == g_fail_nth) {
    errno = ENOMEM;
    return nullptr;
  }
  return __libc_malloc(size);
}
