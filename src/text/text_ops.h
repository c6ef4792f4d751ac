// Byte-string operations that the club and player conversions are made of.
//
// A text is a run of 8-bit bytes of any length; positions are 1-based. The edge behaviour of
// each operation (what a trim removes, what a position past the end gives) decides the bytes of
// the list, so it is fixed here and nowhere else. Nothing here knows about code pages.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

// A 1-based byte position, or a byte count; counts may be negative where noted.
using TextPos = std::ptrdiff_t;

// Number of bytes of s.
inline TextPos textLength(std::string_view s) { return static_cast<TextPos>(s.size()); }

// The first n bytes of s: all of s when n exceeds its length, empty when n <= 0.
std::string_view leftChars(std::string_view s, TextPos n);

// count bytes of s from position start, or all the rest when count < 0; empty when start lies
// outside s or count is 0.
std::string_view midChars(std::string_view s, TextPos start, TextPos count);

// Position of the first occurrence of p in s that begins at or after start; 0 when there is
// none, and when s or p is empty or start lies outside s.
TextPos findText(TextPos start, std::string_view s, std::string_view p);

// s without the copies of p that stand one after the other at its start.
std::string_view trimLeadingPattern(std::string_view s, std::string_view p);

// s without the copies of p that stand one after the other at its end.
std::string_view trimTrailingPattern(std::string_view s, std::string_view p);

// Overwrites s from position start with the first count bytes of src (all of src when count < 0
// or larger); bytes that would fall past the end of s are dropped, so s keeps its length. Does
// nothing when s or src is empty, count is 0 or start lies outside s (a start of 0 included).
void overwriteAt(std::span<char> s, TextPos start, TextPos count, std::string_view src);

// Overwrites every occurrence of p in s with replacement in one left-to-right pass.
// REQUIRES: replacement has the length of p, and no occurrence of p can overlap another or
// include a byte of replacement. Then the result is the same as overwriting the first
// occurrence again and again until none is left.
void replaceEvery(std::span<char> s, std::string_view p, std::string_view replacement);
