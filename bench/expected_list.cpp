// Writes to standard output the list that DIR/Spieler.sql and DIR/Vereine.sql must give, made
// without any of the converter's code but its code-page table, so that a benchmark run can be
// checked against it: large_inputs.sh compares the two with cmp. Streams the players, so that
// it can check inputs larger than memory would hold twice.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>

#include "convert/code_page_table.h"

namespace {

constexpr std::string_view kPlayerPrefix = "REPLACE INTO `dwz_spieler` VALUES (";
constexpr std::string_view kClubPrefix = "REPLACE INTO `dwz_vereine` VALUES (";
constexpr std::string_view kNull = ",null";
constexpr std::string_view kEmptyField = ", \"\" ";

[[noreturn]] void die(const std::string& what) {
  std::fprintf(stderr, "bench_expected_list: %s: %s\n", what.c_str(), std::strerror(errno));
  std::exit(1);
}

// Calls onLine for each line of the file as a text-mode stream reads it: the input ends at
// 0x1A; a line ends at LF and loses the CR of a CR LF and one more CR before that; a last line
// without LF loses one final CR. A missing file has no lines.
template <typename OnLine>
void forEachLine(const std::string& path, OnLine onLine) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return;
  static char block[1 << 20];
  std::string line;
  bool ended = false;
  while (!ended) {
    const std::size_t got = std::fread(block, 1, sizeof block, file);
    if (got == 0) break;
    for (std::size_t i = 0; i < got && !ended; ++i) {
      const char byte = block[i];
      if (byte == '\x1A') {
        ended = true;
      } else if (byte == '\n') {
        for (int cr = 0; cr < 2 && !line.empty() && line.back() == '\r'; ++cr) line.pop_back();
        onLine(line);
        line.clear();
      } else {
        line += byte;
      }
    }
  }
  if (std::ferror(file)) die("cannot read " + path);
  std::fclose(file);
  if (line.empty()) return;
  if (line.back() == '\r') line.pop_back();
  onLine(line);
}

std::string_view withoutTrailing(std::string_view s, std::string_view p) {
  while (s.size() >= p.size() && s.substr(s.size() - p.size()) == p) s.remove_suffix(p.size());
  return s;
}

std::string_view withoutLeading(std::string_view s, std::string_view p) {
  while (s.size() >= p.size() && s.substr(0, p.size()) == p) s.remove_prefix(p.size());
  return s;
}

// Bytes from the 1-based position start on, at most count of them.
std::string_view bytesFrom(std::string_view s, std::size_t start, std::size_t count) {
  if (start > s.size()) return {};
  return s.substr(start - 1, count);
}

// The club record of a club line: the quoted code, a comma, and the name in double quotes, its
// own double quotes turned into apostrophes, cut to 32 bytes.
std::string clubRecordOf(std::string_view line) {
  const std::string_view values = withoutLeading(withoutTrailing(line, "\");"), kClubPrefix);
  std::string name(withoutLeading(bytesFrom(values, 18, std::string::npos), ",\""));
  for (char& byte : name) {
    if (byte == '"') byte = '\'';
  }
  if (name.size() > 32) name.resize(32);
  return std::string(values.substr(0, 7)) + ",\"" + name + "\"";
}

// The club code of a player's values or of a club record: its bytes 2 to 6, fewer if it is short.
std::string clubCodeOf(std::string_view text) { return std::string(bytesFrom(text, 2, 5)); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_expected_list DIR > expected-DWZ.liste\n");
    return 2;
  }
  const std::string dir = argv[1];

  // the first club line of each club code gives its field
  std::unordered_map<std::string, std::string> clubs;
  forEachLine(dir + "/Vereine.sql", [&](const std::string& line) {
    const std::string record = clubRecordOf(line);
    std::string field = ",";
    field += bytesFrom(record, 9, std::string::npos);
    clubs.emplace(clubCodeOf(record), field);
  });

  std::string out;
  forEachLine(dir + "/Spieler.sql", [&](const std::string& line) {
    const std::string_view values = withoutLeading(withoutTrailing(line, ");"), kPlayerPrefix);
    out.assign(values);
    const auto club = clubs.find(clubCodeOf(values));
    out += club == clubs.end() ? ",\"\"" : club->second;
    for (std::size_t at = out.find(kNull); at != std::string::npos; at = out.find(kNull, at)) {
      out.replace(at, kNull.size(), kEmptyField);
    }
    for (char& byte : out)
      byte = static_cast<char>(kCp1252ToCp850[static_cast<unsigned char>(byte)]);
    out += "\r\n";
    if (std::fwrite(out.data(), 1, out.size(), stdout) != out.size()) die("cannot write the list");
  });
  if (std::fflush(stdout) != 0) die("cannot write the list");
  return 0;
}
