#include "package/output_file.hpp"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>

#include "base/console.hpp"
#include "base/messages.hpp"

namespace {

// Names tried before giving up on a folder where every one is taken.
constexpr int k_name_attempts = 100;

// How much of path is its folder, through the last slash; 0 when it names a file here.
std::size_t folder_length(std::string_view path) {
  return path.find_last_of('/') + 1;  // npos + 1 is 0
}

// Puts a fresh temporary name in path's folder into temp. The six characters come from the clock,
// a counter and where the program was loaded; creating or linking with an existing name fails, so
// two runs never share a name, they only try again.
void form_temp_name(temp_name& temp, const char* path) {
  static constexpr char k_digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  static std::uint64_t counter = 0;
  std::uint64_t value =
      static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()) ^
      (reinterpret_cast<std::uintptr_t>(&counter) << 16) ^ (++counter * 0x9E3779B97F4A7C15u);
  value = (value ^ (value >> 31)) * 0xBF58476D1CE4E5B9u;  // spread the clock's changing bits
  std::array<char, 7> six{};
  for (std::size_t i = 0; i < 6; ++i, value /= 36) {
    six[i] = k_digits[value % 36];
  }
  (void)std::snprintf(temp.data(), temp.size(), "%.*s%s%s%s", static_cast<int>(folder_length(path)),
                      path, k_temp_prefix.data(), six.data(), k_temp_extension.data());
}

// True when the two files' bytes are equal; a file that cannot be read proves nothing either.
bool same_bytes(const char* a, const char* b) {
  const unique_file first{std::fopen(a, "rb")};
  const unique_file second{std::fopen(b, "rb")};
  if (!first || !second) {
    return true;
  }
  std::array<char, 4096> first_block{};
  std::array<char, 4096> second_block{};
  for (;;) {
    const std::size_t length = std::fread(first_block.data(), 1, first_block.size(), first.get());
    if (std::fread(second_block.data(), 1, second_block.size(), second.get()) != length ||
        !std::equal(first_block.begin(), first_block.begin() + static_cast<long>(length),
                    second_block.begin())) {
      return false;
    }
    if (length < first_block.size()) {
      return true;
    }
  }
}

// True when output and input may be one file under two names. Where the file system folds case
// (FAT, exFAT, NTFS, APFS) two spellings of one name, or a short 8.3 name, lead to one file, and
// through FUSE they get different numbers. Such a file has one size and one content: two plain
// files on one device whose sizes and bytes are all equal are taken as one, whatever their names.
bool may_be_one_file(const file_identity& output, const char* output_path,
                     const file_identity& input, const char* input_path) {
  if (is_same_file(output, input)) {
    return true;
  }
  return input.found && output.regular && input.regular && output.device == input.device &&
         output.size == input.size && same_bytes(output_path, input_path);
}

// True when a file exists at path and it is, or may be, one of input_files.
bool is_input_file(const char* path, std::span<const char* const> input_files) {
  const file_identity output = identify_file(path);
  return output.found && std::any_of(input_files.begin(), input_files.end(), [&](const char* in) {
           return may_be_one_file(output, path, identify_file(in), in);
         });
}

// Gives the unnamed file being written a temporary name; false when none could be given.
bool name_output_file(output_file& out) {
  for (int attempt = 0; attempt < k_name_attempts; ++attempt) {
    form_temp_name(out.temp, out.path);
    if (name_unnamed_file(out.stream.get(), out.temp.data())) {
      return true;
    }
    if (errno != EEXIST) {
      break;
    }
  }
  out.temp[0] = '\0';
  return false;
}

}  // namespace

output_refusal output_path_refusal(const char* path, std::span<const char* const> input_files) {
  if (is_input_file(path, input_files)) {
    return output_refusal::input_file;
  }
  return k_device_names_reserved && is_device_name(path) ? output_refusal::device_name
                                                         : output_refusal::none;
}

output_file open_output_file(const char* path) {
  output_file out;
  out.path = path;
  // Stamped as it stands when announced: only this file may be removed if the phase fails.
  out.old_package = stamp_entry(path);
  if (out.old_package.found) {
    say(msg::k_deleting_existing, path);
  }
  // An unnamed file in the package's own folder: it can take the package's name by a rename.
  std::array<char, k_name_size> folder{'.'};
  std::copy_n(path, folder_length(path), folder.begin());
  out.stream.reset(create_unnamed_file(folder.data()));
  for (int attempt = 0; out.stream == nullptr && attempt < k_name_attempts; ++attempt) {
    form_temp_name(out.temp, path);
    std::FILE* const file = create_new_file(out.temp.data());
    if (file == nullptr && errno != EEXIST) {
      break;
    }
    out.stream.reset(file);
  }
  if (out.stream == nullptr) {
    out.temp[0] = '\0';
  }
  return out;
}

bool keep_output_file(output_file& out) {
  if (!force_to_disk(out.stream.get()) || (out.temp[0] == '\0' && !name_output_file(out))) {
    return false;
  }
  // Closing can still report a write that the flush did not.
  if (std::fclose(out.stream.release()) != 0) {
    return false;
  }
  if (replace_file(out.temp.data(), out.path)) {
    out.temp[0] = '\0';
    return true;
  }
  // A rename cannot replace an empty folder (or, on Windows, some files), which an old package's
  // removal always could: that one goes as before, and a folder holding files stays.
  if (remove_if_unchanged(out.path, out.old_package) && replace_file(out.temp.data(), out.path)) {
    out.temp[0] = '\0';
    return true;
  }
  return false;
}

void discard_output_file(output_file& out) {
  out.stream.reset();  // Windows removes no file that is still open
  if (out.temp[0] != '\0') {
    (void)std::remove(out.temp.data());
    out.temp[0] = '\0';
  }
  // Another run may have put its package there since: that one stays.
  (void)remove_if_unchanged(out.path, out.old_package);
}

bool is_device_name(const char* path) {
  std::string_view name(path);
  name.remove_prefix(name.find_last_of("/\\") + 1);  // npos + 1 is 0
  name = name.substr(0, name.find('.'));
  while (!name.empty() && name.back() == ' ') {
    name.remove_suffix(1);
  }
  const auto is = [&name](std::string_view word) {
    return std::equal(name.begin(), name.begin() + 3, word.begin(), [](char c, char upper) {
      return (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == upper;
    });
  };
  if (name.size() == 3) {
    return is("CON") || is("PRN") || is("AUX") || is("NUL");
  }
  return name.size() == 4 && (is("COM") || is("LPT")) && name[3] >= '1' && name[3] <= '9';
}
