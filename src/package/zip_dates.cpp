#include "package/zip_dates.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <optional>

#include "base/platform.hpp"

namespace {

// The moment SOURCE_DATE_EPOCH names, in UTC, when it holds seconds since 1970 as decimal digits
// alone (no sign, no blank) that fit 64 bits: builds that must come out the same byte for byte
// set it. Empty when it is unset or holds anything else, which is then ignored.
std::optional<std::tm> source_date() {
  const char* const text = std::getenv("SOURCE_DATE_EPOCH");
  if (text == nullptr || *text == '\0') {
    return std::nullopt;
  }
  std::int64_t seconds = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    const int digit = *p - '0';
    if (digit < 0 || digit > 9 ||
        seconds > (std::numeric_limits<std::int64_t>::max() - digit) / 10) {
      return std::nullopt;
    }
    seconds = seconds * 10 + digit;
  }
  return utc_time(seconds);
}

}  // namespace

std::tm package_entry_date() {
  const std::optional<std::tm> fixed = source_date();
  return clamp_to_zip_dates(fixed ? *fixed : local_time_now());
}

std::tm clamp_to_zip_dates(std::tm local) {
  constexpr int k_first_year = 1980 - 1900;
  constexpr int k_last_year = 2107 - 1900;
  if (local.tm_year < k_first_year) {
    local = std::tm{};
    local.tm_mday = 1;
    local.tm_year = k_first_year;
  } else if (local.tm_year > k_last_year) {
    local = std::tm{};
    local.tm_sec = 58;  // the zip date keeps seconds in twos
    local.tm_min = 59;
    local.tm_hour = 23;
    local.tm_mday = 31;
    local.tm_mon = 11;
    local.tm_year = k_last_year;
  }
  local.tm_sec = std::min(local.tm_sec, 59);  // a leap second
  return local;
}
