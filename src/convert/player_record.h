// Player records: the lines of Spieler.sql turned into the lines of the list.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lines/line_file.h"

// The club field of every club code, made once from the club records: a comma and the club
// name in double quotes, already in the form the list needs.
struct ClubLookup {
  struct Slot {
    std::uint64_t code = 0;
    std::size_t record = 0;  // the first club record with this code; 0 for a free slot
  };
  std::string fields;                  // the club field of each record, one after the other
  std::vector<std::size_t> fieldEnds;  // entry m - 1: where the field of record m ends
  std::vector<Slot> slots;             // a hash table with open addressing, of 2^n slots
};

// The lookup for club records (as normaliseClubTable makes them), in table order.
ClubLookup buildClubLookup(const std::vector<std::string>& clubRecords);

// The club field for a club code: that of the first club record with this code, or a comma and
// two double quotes when no record has it.
std::string_view clubFieldFor(const ClubLookup& clubs, std::string_view code);

// Converts one line of Spieler.sql and writes it to list as one line: the statement wrapper
// goes, the club field is appended, every ",null" becomes an empty quoted field, and the bytes
// are converted to the OEM code page.
FileError convertPlayerLine(std::string_view line, const ClubLookup& clubs, OutputFile& list);
