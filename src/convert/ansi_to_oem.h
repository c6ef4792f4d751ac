// Conversion of text from the ANSI code page to the OEM code page.
#pragma once

#include <span>

// Converts every byte of text in place, zero bytes included; one byte gives one byte, so the
// length never changes.
void ansiToOem(std::span<char> text);
