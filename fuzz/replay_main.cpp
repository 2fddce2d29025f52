// A plain driver for the fuzz targets, for builds without libFuzzer: runs each file named on the
// command line, or each file in a named folder, through LLVMFuzzerTestOneInput once. The test
// suite uses it to replay the seed corpora and the kept regressions with the compiler and
// sanitizers of the build at hand; a failed check aborts, and so fails the test.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" [[gnu::weak]] int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize != nullptr) {
    (void)LLVMFuzzerInitialize(&argc, &argv);
  }
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    if (fs::is_directory(argv[i])) {
      for (const auto& entry : fs::directory_iterator(argv[i])) {
        if (entry.is_regular_file()) {
          inputs.push_back(entry.path());
        }
      }
    } else {
      inputs.emplace_back(argv[i]);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const fs::path& input : inputs) {
    std::ifstream in(input, std::ios::binary);
    if (!in) {
      (void)std::fprintf(stderr, "cannot read %s\n", input.c_str());
      return 1;
    }
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    // An empty vector may have no storage; the targets expect a valid pointer.
    static const std::uint8_t k_nothing = 0;
    const auto* data =
        bytes.empty() ? &k_nothing : reinterpret_cast<const std::uint8_t*>(bytes.data());
    (void)LLVMFuzzerTestOneInput(data, bytes.size());
  }
  (void)std::printf("replayed %zu inputs\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
