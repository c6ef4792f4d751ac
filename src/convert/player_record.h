// Player records: the lines of Spieler.sql turned into the lines of the list.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <unordered_map>

#include "lines/line_table.h"

// The club field of every club code, made once from the club records: a comma and the club
// name in double quotes, already in the form the list needs.
struct ClubLookup {
  LineTable fields;                                     // one per club record, in table order
  std::unordered_map<std::uint64_t, std::size_t> first;  // club code -> first record with it
};

// The lookup for club records (entries of normaliseClubTable).
ClubLookup buildClubLookup(const LineTable& clubRecords);

// The club field for a club code: that of the first club record with this code, or a comma and
// two double quotes when no record has it.
std::string_view clubFieldFor(const ClubLookup& clubs, std::string_view code);

// One line of the list, before its line end: values, then clubField.
struct ListLine {
  std::string_view values;
  std::string_view clubField;
};

// Converts one line of Spieler.sql, in place: the statement wrapper goes, every ",null" becomes
// an empty quoted field, and the bytes are converted to the OEM code page. The result's values
// lie inside line; its club field belongs to clubs.
ListLine convertPlayerLine(std::span<char> line, const ClubLookup& clubs);
