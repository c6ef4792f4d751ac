// The conversion written the plain way, step by step, with no shortcut: each text operation
// with its own loop, the ",null" search started again from position 1 after every
// replacement, the club found by scanning the club records in order. The fast converter must
// give exactly these bytes.
#pragma once

#include <string>
#include <vector>

#include "convert/code_page_table.h"

namespace reference {

inline std::string leftChars(const std::string& s, long n) {
  if (n <= 0 || s.empty()) return "";
  std::string result;
  for (long i = 0; i < n && i < static_cast<long>(s.size()); ++i) result += s[i];
  return result;
}

inline std::string midChars(const std::string& s, long start, long count) {
  const long length = static_cast<long>(s.size());
  if (s.empty() || start < 1 || start > length || count == 0) return "";
  if (count < 0) count = length;
  std::string result;
  for (long i = start; i <= length && i < start + count; ++i) result += s[i - 1];
  return result;
}

inline long findText(long start, const std::string& s, const std::string& p) {
  const long length = static_cast<long>(s.size());
  const long patternLength = static_cast<long>(p.size());
  if (s.empty() || p.empty() || start < 1 || start > length || patternLength > length) return 0;
  for (long at = start; at + patternLength - 1 <= length; ++at) {
    bool same = true;
    for (long i = 0; i < patternLength && same; ++i) same = s[at - 1 + i] == p[i];
    if (same) return at;
  }
  return 0;
}

inline std::string trimLeadingPattern(std::string s, const std::string& p) {
  if (s.empty()) return "";
  if (p.size() > s.size()) return s;
  while (s.size() >= p.size() && s.compare(0, p.size(), p) == 0) s = s.substr(p.size());
  return s;
}

inline std::string trimTrailingPattern(std::string s, const std::string& p) {
  if (s.empty()) return "";
  if (p.size() > s.size()) return s;
  while (s.size() >= p.size() && s.compare(s.size() - p.size(), p.size(), p) == 0) {
    s = s.substr(0, s.size() - p.size());
  }
  return s;
}

inline void overwriteAt(std::string& s, long start, long count, const std::string& src) {
  const long length = static_cast<long>(s.size());
  if (s.empty() || src.empty() || start < 1 || start > length || count == 0) return;
  if (count < 0 || count > static_cast<long>(src.size())) count = static_cast<long>(src.size());
  for (long i = 0; i < count && start + i <= length; ++i) s[start - 1 + i] = src[i];
}

inline std::string normaliseClubLine(std::string l) {
  l = trimTrailingPattern(l, "\");");
  l = trimLeadingPattern(l, "REPLACE INTO `dwz_vereine` VALUES (");
  const std::string code = leftChars(l, 7);
  const long n = static_cast<long>(l.size());
  l = midChars(l, 18, n - 17);
  l = trimLeadingPattern(l, ",\"");
  for (long r = findText(1, l, "\""); r != 0; r = findText(1, l, "\"")) overwriteAt(l, r, 1, "'");
  const long m = static_cast<long>(l.size());
  if (m <= 32) return code + ",\"" + l + "\"";
  return code + ",\"" + leftChars(l, 32) + "\"";
}

inline std::string convertPlayerLine(std::string p, const std::vector<std::string>& clubs) {
  p = trimTrailingPattern(p, ");");
  p = trimLeadingPattern(p, "REPLACE INTO `dwz_spieler` VALUES (");
  const std::string key = midChars(p, 2, 5);
  bool matched = false;
  for (const std::string& club : clubs) {
    if (midChars(club, 2, 5) == key) {
      p = p + "," + midChars(club, 9, -1);
      matched = true;
      break;
    }
  }
  if (!matched) p = p + ",\"\"";
  for (long r = findText(1, p, ",null"); r != 0; r = findText(1, p, ",null")) {
    overwriteAt(p, r, 5, ", \"\" ");
  }
  for (char& byte : p) byte = static_cast<char>(kCp1252ToCp850[static_cast<unsigned char>(byte)]);
  return p;
}

// The lines of a file's bytes as a text-mode stream delivers them: the input ends at 0x1A,
// CR LF arrives as LF; then a line is everything up to LF, less a CR directly before it, and a
// last line without LF loses a final CR.
inline std::vector<std::string> readLines(const std::string& bytes) {
  std::string stream;
  for (std::size_t i = 0; i < bytes.size() && bytes[i] != '\x1A'; ++i) {
    const bool crBeforeLf = bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
    if (!crBeforeLf) stream += bytes[i];
  }
  std::vector<std::string> lines;
  std::size_t at = 0;
  while (at < stream.size()) {
    std::string line;
    while (at < stream.size() && stream[at] != '\n') line += stream[at++];
    if (at < stream.size()) ++at;  // the LF
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// The list file for the bytes of Spieler.sql and Vereine.sql.
inline std::string convertFiles(const std::string& players, const std::string& clubLines) {
  std::vector<std::string> clubs;
  for (const std::string& line : readLines(clubLines)) clubs.push_back(normaliseClubLine(line));
  std::string list;
  for (const std::string& line : readLines(players))
    list += convertPlayerLine(line, clubs) + "\r\n";
  return list;
}

}  // namespace reference
