// Writes the example firmware head: 43008 bytes of a fixed pseudo-random pattern followed by a
// short tail, so the example never needs a binary from elsewhere and is the same on every build.
#include <cstdint>
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    (void)std::fprintf(stderr, "usage: make_example_firmware OUTPUT\n");
    return 1;
  }
  std::FILE* const out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  std::uint32_t state = 0x2545F491u;  // xorshift32: deterministic on every platform
  for (int i = 0; i < 43008 + 1024; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    (void)std::fputc(static_cast<int>(state & 0xFF), out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
