// The byte table that converts code page 1252 (Windows ANSI, Western) to code page 850 (DOS,
// Western), the pair used where the system has no ANSI and OEM code pages of its own.
#pragma once

#include <array>

// Entry b is the 850 byte for the 1252 byte b. Where 850 has the same character, that is its
// byte; the 31 bytes of 1252 whose characters 850 lacks (80-9F but for 83) get the byte that
// Windows' best-fit conversion gives between these two pages, so that a list made with this
// table is byte for byte the one a Windows system with ANSI 1252 and OEM 850 makes.
extern const std::array<unsigned char, 256> kCp1252ToCp850;
