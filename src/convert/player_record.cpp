// Conversion of player statements to lines of the list.
#include "convert/player_record.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <string>

#include "convert/ansi_to_oem.h"
#include "convert/club_record.h"
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
// The most a club record holds from kRecordNameStart on: the longest name and its quotes.
constexpr std::size_t kQuotedNameLength = kClubNameLength + 2;

// The club code of a player's values or of a club record. A short text has a shorter code,
// which matches only a code as short.
std::string_view clubCodeOf(std::string_view text) {
  return midChars(text, kCodeStart, kCodeLength);
}

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
std::size_t slotFor(const ClubLookup& lookup, std::uint64_t code) {
  const std::size_t mask = lookup.slots.size() - 1;
  std::size_t at = homeSlot(code, lookup.slots.size());
  while (lookup.slots[at] != 0 && lookup.clubs[lookup.slots[at] - 1].code != code) {
    at = (at + 1) & mask;
  }
  return at;
}

// The player's values: the line without its statement wrapper.
std::string_view valuesOf(std::string_view line) {
  return trimLeadingPattern(trimTrailingPattern(line, kPlayerStatementEnd), kPlayerPrefix);
}

// The club field of a club record: a comma and the record from its name's opening quote on,
// finished as the list needs it. The club name's ",null"s go too; a club field begins with a
// comma, which cannot stand inside a ",null" after its first byte, so none spans the player's
// values and the club field, and each can be finished apart.
void makeClubField(std::string_view record, ClubLookup::Club& club) {
  static_assert(sizeof club.field >= 1 + kQuotedNameLength);
  std::string_view name = midChars(record, kRecordNameStart, -1);
  assert(name.size() <= kQuotedNameLength);  // as every club record is made
  name = leftChars(name, kQuotedNameLength);
  club.field[0] = ',';
  std::copy(name.begin(), name.end(), club.field + 1);
  club.fieldLength = static_cast<std::uint32_t>(1 + name.size());
  const std::span<char> field(club.field, club.fieldLength);
  replaceEvery(field, kNull, kEmptyField);
  ansiToOem(field);
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

ClubLookup emptyClubLookup(std::size_t clubCount) {
  ClubLookup lookup;
  // At most half full, so that a search ends after a slot or two.
  lookup.slots.resize(std::bit_ceil(2 * clubCount + 2));
  lookup.clubs.reserve(clubCount);
  return lookup;
}

void addClubRecord(ClubLookup& lookup, std::string_view record) {
  assert(2 * lookup.clubs.size() < lookup.slots.size());
  const std::uint64_t code = codeKey(clubCodeOf(record));
  std::uint32_t& slot = lookup.slots[slotFor(lookup, code)];
  if (slot != 0) return;  // a later record with the same code is never used
  ClubLookup::Club& club = lookup.clubs.emplace_back();
  club.code = code;
  makeClubField(record, club);
  slot = static_cast<std::uint32_t>(lookup.clubs.size());
}

std::string_view clubFieldFor(const ClubLookup& lookup, std::string_view code) {
  const std::uint32_t slot = lookup.slots[slotFor(lookup, codeKey(code))];
  if (slot == 0) return kUnknownClubField;
  const ClubLookup::Club& club = lookup.clubs[slot - 1];
  return {club.field, club.fieldLength};
}

void prefetchClubFor(std::string_view line, const ClubLookup& lookup) {
  // Only a hint: where the statement prefix stands, as it does in every real line, the code
  // follows it; the slot table is small enough to stay in the cache.
  const std::string_view values = midChars(line, textLength(kPlayerPrefix) + 1, -1);
  const std::uint32_t slot =
      lookup.slots[homeSlot(codeKey(clubCodeOf(values)), lookup.slots.size())];
  if (slot != 0) __builtin_prefetch(&lookup.clubs[slot - 1]);
}

FileError convertPlayerLine(std::string_view line, const ClubLookup& clubs, OutputFile& list) {
  std::string_view values = valuesOf(line);
  const std::string_view clubField = clubFieldFor(clubs, clubCodeOf(values));
  if (values.size() <= OutputFile::kBufferSize) {
    // the usual line: finished in the output buffer, in one pass for each step
    std::span<char> room;
    if (FileError error = list.appendSpace(values.size(), room)) return error;
    std::copy(values.begin(), values.end(), room.begin());
    replaceEvery(room, kNull, kEmptyField);
    ansiToOem(room);
    return list.writeLine(clubField);
  }
  // a line longer than the buffer goes in pieces, each ",null" found in the line itself
  for (TextPos at = findText(1, values, kNull); at != 0; at = findText(1, values, kNull)) {
    if (FileError error = writeInOem(list, leftChars(values, at - 1))) return error;
    if (FileError error = writeInOem(list, kEmptyField)) return error;
    values = midChars(values, at + textLength(kNull), -1);
  }
  if (FileError error = writeInOem(list, values)) return error;
  return list.writeLine(clubField);
}
