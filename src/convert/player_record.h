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
  // One club code with the field of its first record, in one cache line: a lookup costs one
  // memory access, which can be asked for ahead of time (prefetchClubFor).
  struct alignas(64) Club {
    std::uint64_t code = 0;
    std::uint32_t fieldLength = 0;
    char field[52] = {};
  };
  std::vector<Club> clubs;           // one for each club code, in the order of first records
  std::vector<std::uint32_t> slots;  // open addressing, 2^n slots: 1 + index into clubs, or 0
};

// An empty lookup with room for clubCount club records.
ClubLookup emptyClubLookup(std::size_t clubCount);

// Adds a club record (as normaliseClubLine makes it); records are added in table order, and
// of several with the same club code only the first counts. REQUIRES: no more records than
// the lookup was made for.
void addClubRecord(ClubLookup& clubs, std::string_view record);

// The club field for a club code: that of the first club record with this code, or a comma and
// two double quotes when no record has it.
std::string_view clubFieldFor(const ClubLookup& clubs, std::string_view code);

// Asks the memory for the club of a player line that is to be converted soon, so that the
// lookup does not wait for it then.
void prefetchClubFor(std::string_view line, const ClubLookup& clubs);

// Converts one line of Spieler.sql and writes it to list as one line: the statement wrapper
// goes, the club field is appended, every ",null" becomes an empty quoted field, and the bytes
// are converted to the OEM code page.
FileError convertPlayerLine(std::string_view line, const ClubLookup& clubs, OutputFile& list);
