// Conversion of player statements to lines of the list.
#include "convert/player_record.h"

#include <string>

#include "convert/ansi_to_oem.h"
#include "text/text_ops.h"

namespace {

constexpr std::string_view kPlayerPrefix = "REPLACE INTO `dwz_spieler` VALUES (";
constexpr std::string_view kPlayerStatementEnd = ");";
constexpr std::string_view kNull = ",null";
constexpr std::string_view kEmptyField = ", \"\" ";
constexpr std::string_view kUnknownClubField = ",\"\"";
constexpr TextPos kCodeStart = 2;  // the club code follows the opening double quote
constexpr TextPos kCodeLength = 5;
constexpr TextPos kRecordNameStart = 9;  // the club name in its quotes, in a club record

// The club code of a player's values or of a club record. A short text has a shorter code,
// which matches only a code as short.
std::string_view clubCodeOf(std::string_view text) { return midChars(text, kCodeStart, kCodeLength); }

// A club code of up to 5 bytes as one number: its bytes and their count.
std::uint64_t codeKey(std::string_view code) {
  std::uint64_t key = code.size();
  for (const char byte : code) key = key << 8 | static_cast<unsigned char>(byte);
  return key;
}

// Nulls become empty quoted fields, then the bytes go to the OEM code page. Neither ",null" nor
// its replacement can overlap a ",null", and a club field begins with a comma, so no ",null"
// spans the values and the club field: the two can be finished apart.
void finishListText(std::span<char> text) {
  replaceEvery(text, kNull, kEmptyField);
  ansiToOem(text);
}

}  // namespace

ClubLookup buildClubLookup(const LineTable& clubRecords) {
  ClubLookup clubs;
  clubs.first.reserve(clubRecords.count());
  std::string field;
  for (std::size_t m = 1; m <= clubRecords.count(); ++m) {
    const std::string_view record = clubRecords.line(m);
    field.assign(1, ',');
    field += midChars(record, kRecordNameStart, -1);
    finishListText(field);
    clubs.fields.append(field);
    clubs.first.emplace(codeKey(clubCodeOf(record)), m);  // keeps the first record with a code
  }
  return clubs;
}

std::string_view clubFieldFor(const ClubLookup& clubs, std::string_view code) {
  const auto found = clubs.first.find(codeKey(code));
  return found == clubs.first.end() ? kUnknownClubField : clubs.fields.line(found->second);
}

ListLine convertPlayerLine(std::span<char> line, const ClubLookup& clubs) {
  std::string_view values = trimTrailingPattern({line.data(), line.size()}, kPlayerStatementEnd);
  values = trimLeadingPattern(values, kPlayerPrefix);
  const std::span<char> text = line.subspan(static_cast<std::size_t>(values.data() - line.data()),
                                            values.size());
  const std::string_view clubField = clubFieldFor(clubs, clubCodeOf(values));
  finishListText(text);
  return {values, clubField};
}
