// Club records: the lines of Vereine.sql reduced to club code and club name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Longest club name kept in a club record, in bytes.
inline constexpr std::size_t kClubNameLength = 32;

// Sets record to the club record of one line of Vereine.sql: the 7 bytes of the quoted club
// code, a comma, and the club name in double quotes, cut to kClubNameLength bytes, its own
// double quotes turned into apostrophes. A line of another shape is not rejected: the same
// steps apply to whatever bytes it holds.
void normaliseClubLine(std::string_view line, std::string& record);
