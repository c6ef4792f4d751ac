// Names between UTF-8, as the program keeps them, and UTF-16, as the wide Windows calls take
// them. Windows only.
#pragma once

#include <string>
#include <string_view>

// utf8 in UTF-16; empty when utf8 is not valid UTF-8.
std::wstring utf16FromUtf8(std::string_view utf8);

// utf16 in UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8FromUtf16(std::wstring_view utf16);
