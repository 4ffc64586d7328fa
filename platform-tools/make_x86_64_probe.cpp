// Writes the smallest x86_64 program there is: a static ELF executable that exits 0.
// The architecture switch runs it to learn whether this machine runs x86_64 code, natively
// or through a registered emulator, without a compiler for x86_64 at hand.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

void put(std::vector<unsigned char>& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_x86_64_probe OUTPUT\n");
    return 2;
  }
  constexpr std::uint64_t kBase = 0x400000, kHeaders = 64 + 56;
  const unsigned char code[] = {0xb8, 0x3c, 0, 0, 0,  // mov eax, 60 (exit)
                                0x31, 0xff,           // xor edi, edi
                                0x0f, 0x05};          // syscall
  const std::uint64_t size = kHeaders + sizeof code;
  std::vector<unsigned char> elf{0x7f, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  put(elf, 2, 2);                 // executable
  put(elf, 0x3e, 2);              // x86_64
  put(elf, 1, 4);                 // version
  put(elf, kBase + kHeaders, 8);  // entry
  put(elf, 64, 8);                // program headers right after this one
  put(elf, 0, 8);                 // no section headers
  put(elf, 0, 4);
  put(elf, 64, 2);
  put(elf, 56, 2);
  put(elf, 1, 2);
  put(elf, 0, 6);
  put(elf, 1, 4);  // loadable segment
  put(elf, 5, 4);  // readable, executable
  put(elf, 0, 8);
  put(elf, kBase, 8);
  put(elf, kBase, 8);
  put(elf, size, 8);
  put(elf, size, 8);
  put(elf, 0x1000, 8);
  elf.insert(elf.end(), code, code + sizeof code);

  std::FILE* out = std::fopen(argv[1], "wb");
  if (!out || std::fwrite(elf.data(), 1, elf.size(), out) != elf.size() || std::fclose(out) != 0) {
    std::perror(argv[1]);
    return 1;
  }
  return ::chmod(argv[1], 0755) == 0 ? 0 : 1;
}
