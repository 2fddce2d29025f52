// Fuzz target: zivavod-inspect's reading of a package, the input taken as the package file's
// bytes, and its manifest check alone on the same bytes (inside a zip the manifest lies behind a
// CRC-32 that mutations break). Neither may crash, read outside the input or leak, and a package
// found sound must have given its word tables.
#include <cstdlib>
#include <string_view>

#include "inspect/inspect.hpp"
#include "inspect/manifest_check.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static inspection result;
  constexpr std::string_view k_image = "pkg.app";
  constexpr std::string_view k_packet = "pkg.dat";
  result = inspection{};
  (void)check_manifest({data, size}, {&k_image, &k_packet}, result);
  inspect_package({data, size}, result);
  if (result.problem_count == 0 && !result.tables_read) {
    std::abort();
  }
  for (const word_table* table : {&result.six, &result.four}) {
    for (std::size_t at = 0; at < table->records.size(); at += table->record_size) {
      (void)word_text(table->records.subspan(at, table->record_size), table->letters);
    }
  }
  return 0;
}
