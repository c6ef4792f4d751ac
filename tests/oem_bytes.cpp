// Writes what ansiToOem makes of all 256 bytes, in byte order, to the file named by its one
// argument; run on Windows (under Wine) so the tests can compare the system's conversion with
// the built-in table.
#include <fstream>
#include <string>

#include "convert/ansi_to_oem.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string bytes(256, '\0');
  for (std::size_t byte = 0; byte < bytes.size(); ++byte) bytes[byte] = static_cast<char>(byte);
  ansiToOem(bytes);
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return out.good() ? 0 : 1;
}
