// Conversion of player statements to lines of the list.
#include "convert/player_record.h"

#include <algorithm>
#include <bit>
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

std::size_t homeSlot(std::uint64_t code, std::size_t slotCount) {
  // Fibonacci hashing: the top bits of the product spread codes that differ in one byte.
  const std::uint64_t spread = code * 0x9E3779B97F4A7C15u;
  return static_cast<std::size_t>(spread >> (64 - std::countr_zero(slotCount)));
}

// The slot that holds code, or the free slot where it belongs.
std::size_t slotFor(const std::vector<ClubLookup::Slot>& slots, std::uint64_t code) {
  std::size_t at = homeSlot(code, slots.size());
  while (slots[at].record != 0 && slots[at].code != code) at = (at + 1) & (slots.size() - 1);
  return at;
}

// Writes bytes to the list in the OEM code page, in pieces that fit its buffer.
FileError writeInOem(OutputFile& list, std::string_view bytes) {
  while (!bytes.empty()) {
    std::span<char> room;
    if (FileError error = list.appendSpace(bytes.size(), room)) return error;
    std::copy_n(bytes.data(), room.size(), room.data());
    ansiToOem(room);
    bytes.remove_prefix(room.size());
  }
  return {};
}

}  // namespace

ClubLookup buildClubLookup(const std::vector<std::string>& clubRecords) {
  ClubLookup clubs;
  // At most half full, so that a search ends after a slot or two.
  clubs.slots.resize(std::bit_ceil(2 * clubRecords.size() + 2));
  clubs.fieldEnds.reserve(clubRecords.size());
  for (std::size_t m = 1; m <= clubRecords.size(); ++m) {
    const std::string_view record = clubRecords[m - 1];
    const std::size_t fieldAt = clubs.fields.size();
    clubs.fields += ',';
    clubs.fields += midChars(record, kRecordNameStart, -1);
    const std::span<char> field = std::span<char>(clubs.fields).subspan(fieldAt);
    // The club name's ",null"s go too; a club field begins with a comma, which cannot stand
    // inside a ",null" after its first byte, so none spans the values and the club field.
    replaceEvery(field, kNull, kEmptyField);
    ansiToOem(field);
    clubs.fieldEnds.push_back(clubs.fields.size());
    const std::uint64_t code = codeKey(clubCodeOf(record));
    ClubLookup::Slot& slot = clubs.slots[slotFor(clubs.slots, code)];
    if (slot.record == 0) slot = {code, m};  // a later record with the same code is never used
  }
  return clubs;
}

std::string_view clubFieldFor(const ClubLookup& clubs, std::string_view code) {
  const std::size_t record = clubs.slots[slotFor(clubs.slots, codeKey(code))].record;
  if (record == 0) return kUnknownClubField;
  const std::size_t begin = record == 1 ? 0 : clubs.fieldEnds[record - 2];
  return std::string_view(clubs.fields).substr(begin, clubs.fieldEnds[record - 1] - begin);
}

FileError convertPlayerLine(std::string_view line, const ClubLookup& clubs, OutputFile& list) {
  std::string_view values = trimTrailingPattern(line, kPlayerStatementEnd);
  values = trimLeadingPattern(values, kPlayerPrefix);
  const std::string_view clubField = clubFieldFor(clubs, clubCodeOf(values));
  // One pass from left to right: ",null" cannot overlap itself, and its replacement cannot be
  // part of one, so this replaces what a search begun again from the start each time would.
  for (TextPos at = findText(1, values, kNull); at != 0; at = findText(1, values, kNull)) {
    if (FileError error = writeInOem(list, leftChars(values, at - 1))) return error;
    if (FileError error = writeInOem(list, kEmptyField)) return error;
    values = midChars(values, at + textLength(kNull), -1);
  }
  if (FileError error = writeInOem(list, values)) return error;
  return list.writeLine(clubField);
}
