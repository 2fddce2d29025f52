#include <gtest/gtest.h>

#include <string>

#include "package/manifest.hpp"
#include "package/package_writer.hpp"

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
  EXPECT_EQ(458u + 2 * 6 * controls.size() + 5,
            manifest(controls.c_str(), controls.c_str(), 65535).size());
  // A buffer too small for the text gives no length to store.
  std::array<char, 477> small{};
  EXPECT_EQ(-1, write_manifest(small, "abc.app", "abc.dat", 10673));
  std::array<char, 478> exact{};
  EXPECT_EQ(477, write_manifest(exact, "abc.app", "abc.dat", 10673));
}

TEST(IsUnsafeEntryName, RefusesAbsoluteDriveAndBackslashNames) {
  EXPECT_TRUE(is_unsafe_entry_name("/tmp/pkg.dat"));
  EXPECT_TRUE(is_unsafe_entry_name("c:pkg.dat"));
  EXPECT_TRUE(is_unsafe_entry_name("out\\pkg.dat"));
  EXPECT_FALSE(is_unsafe_entry_name("out/pkg.dat"));
  EXPECT_FALSE(is_unsafe_entry_name(".dat"));
}

}  // namespace
