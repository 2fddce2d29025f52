#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "base/platform.hpp"
#include "package/manifest.hpp"
#include "package/output_file.hpp"
#include "package/zip_dates.hpp"
#include "package/zip_entry_writer.hpp"

namespace {

std::string manifest(const char* bin, const char* dat, int crc) {
  std::array<char, k_manifest_buffer_size> buffer{};
  const int length = write_manifest(buffer, bin, dat, crc);
  return length < 0 ? "too long" : std::string(buffer.data(), static_cast<std::size_t>(length));
}

TEST(WriteManifest, NamesAreEscapedAsJsonStrings) {
  const std::string text = manifest("a\"b\\c\td\x01\x1f\xc3\xa9.app", "out/pkg.dat", 1);
  EXPECT_NE(std::string::npos,
            text.find("\"bin_file\": \"a\\\"b\\\\c\\td\\u0001\\u001f\xc3\xa9.app\",\r\n"));
  EXPECT_NE(std::string::npos, text.find("\"dat_file\": \"out/pkg.dat\",\r\n"));
  // The worst case still fits the buffer whole.
  const std::string controls(k_name_size - 1, '\x01');
  EXPECT_EQ(458 + (controls.size() * 2 * 6) + 5,
            manifest(controls.c_str(), controls.c_str(), 65535).size());
  // A buffer too small for the text gives no length to store.
  std::array<char, 477> small{};
  EXPECT_EQ(-1, write_manifest(small, "abc.app", "abc.dat", 10673));
  std::array<char, 478> exact{};
  EXPECT_EQ(477, write_manifest(exact, "abc.app", "abc.dat", 10673));
}

TEST(IsUnsafeEntryName, RefusesAbsoluteDriveBackslashAndNonUtf8Names) {
  EXPECT_TRUE(is_unsafe_entry_name("/tmp/pkg.dat"));
  EXPECT_TRUE(is_unsafe_entry_name("c:pkg.dat"));
  EXPECT_TRUE(is_unsafe_entry_name("out\\pkg.dat"));
  EXPECT_TRUE(is_unsafe_entry_name("W\xf6rter.dat"));
  EXPECT_FALSE(is_unsafe_entry_name("out/pkg.dat"));
  EXPECT_FALSE(is_unsafe_entry_name("W\xc3\xb6rter.dat"));
  EXPECT_FALSE(is_unsafe_entry_name(".dat"));
}

TEST(IsDeviceName, TheLastPartBeforeItsDotInAnyCase) {
  for (const char* name : {"nul.zip", "out/CON.zip", "Aux", "prn .zip", "com1.zip", "LPT9.zip"}) {
    EXPECT_TRUE(is_device_name(name)) << name;
  }
  // "coma" tells whether the digit test reads the character after the name.
  for (const char* name :
       {"nul/pkg.zip", "null.zip", "com0.zip", "lpt.zip", "con1.zip", ".zip", "coma.zip"}) {
    EXPECT_FALSE(is_device_name(name)) << name;
  }
}

TEST(ClampToZipDates, YearsOutside1980To2107GiveTheNearestEnd) {
  const auto clamped = [](std::tm t) {
    t = clamp_to_zip_dates(t);
    return std::array{t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  };
  std::tm date{};
  date.tm_year = 79;  // 1979-12-31 23:59:60
  date.tm_mon = 11;
  date.tm_mday = 31;
  date.tm_hour = 23;
  date.tm_min = 59;
  date.tm_sec = 60;
  EXPECT_EQ((std::array{80, 0, 1, 0, 0, 0}), clamped(date));
  date.tm_year = 207;  // in range, but a leap second has no place in a zip date
  EXPECT_EQ((std::array{207, 11, 31, 23, 59, 59}), clamped(date));
  date.tm_year = 208;
  date.tm_mon = 0;
  EXPECT_EQ((std::array{207, 11, 31, 23, 59, 58}), clamped(date));
}

TEST(UtcTime, CivilDatesFrom64BitSecondsOnEveryPlatform) {
  const auto date = [](std::int64_t seconds) {
    const std::tm t = utc_time(seconds);
    return std::array{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
  };
  EXPECT_EQ((std::array{1970, 1, 1, 0, 0, 0}), date(0));
  EXPECT_EQ((std::array{1969, 12, 31, 23, 59, 59}), date(-1));
  EXPECT_EQ((std::array{2023, 11, 14, 22, 13, 20}), date(1700000000));
  EXPECT_EQ((std::array{2038, 1, 19, 3, 14, 8}), date(2147483648));  // past a 32-bit time_t
  EXPECT_EQ((std::array{2000, 2, 29, 0, 0, 0}), date(951782400));    // a century's leap day
  EXPECT_EQ((std::array{2100, 2, 28, 0, 0, 0}), date(4107456000));   // 2100 has none
  EXPECT_EQ((std::array{2100, 3, 1, 0, 0, 0}), date(4107542400));
  EXPECT_EQ((std::array{9999, 12, 31, 23, 59, 59}), date(253402300799));
  EXPECT_EQ(std::numeric_limits<int>::max(),
            utc_time(std::numeric_limits<std::int64_t>::max()).tm_year);
}

}  // namespace
