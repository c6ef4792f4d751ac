// The built-in 1252-to-850 table and the conversion through it.
#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "convert/ansi_to_oem.h"
#include "convert/code_page_table.h"
#include "test_files.h"
#include "windows_build.h"

namespace {

using namespace std::string_literals;

// glibc's own conversion of one 1252 byte to 850; false when 850 has no such character.
bool iconvByte(iconv_t converter, unsigned char in, unsigned char& out) {
  char inBytes[1] = {static_cast<char>(in)};
  char outBytes[4];
  char* inPointer = inBytes;
  char* outPointer = outBytes;
  std::size_t inLeft = 1, outLeft = sizeof outBytes;
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  if (iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) ==
      static_cast<std::size_t>(-1)) {
    return false;
  }
  if (sizeof outBytes - outLeft != 1) return false;
  out = static_cast<unsigned char>(outBytes[0]);
  return true;
}

TEST(CodePageTable, MatchesIconvForEveryCharacterInBothPages) {
  iconv_t converter = iconv_open("IBM850", "CP1252");
  ASSERT_NE(converter, reinterpret_cast<iconv_t>(-1)) << "glibc lacks the 1252 or 850 converter";
  int common = 0;
  for (int byte = 0; byte < 256; ++byte) {
    unsigned char expected;
    if (!iconvByte(converter, static_cast<unsigned char>(byte), expected)) continue;
    ++common;
    EXPECT_EQ(kCp1252ToCp850[static_cast<std::size_t>(byte)], expected) << std::hex << byte;
  }
  iconv_close(converter);
  EXPECT_EQ(common, 256 - 31) << "850 lacks the characters of 31 bytes of 1252, no more";
}

TEST(CodePageTable, GivesWindowsBestFitBytesWhere850LacksTheCharacter) {
  const std::string best =
      "\x3F\x3F\x27\x9F\x22\x2E\xC5\xCE\x5E\x25\x53\x3C\x4F\x3F\x5A\x3F"
      "\x3F\x27\x27\x22\x22\x07\x2D\x2D\x7E\x54\x73\x3E\x6F\x3F\x7A\x59";
  for (std::size_t i = 0; i < best.size(); ++i) {
    EXPECT_EQ(kCp1252ToCp850[0x80 + i], static_cast<unsigned char>(best[i]))
        << std::hex << 0x80 + i;
  }
}

TEST(AnsiToOem, ConvertsEveryByteOfTheTextZeroBytesIncluded) {
  std::string text = "\xE4\0\xF6\0\0\xFC\xDF\xC4\xD6\xDC|az"s;
  ansiToOem(text);
  EXPECT_EQ(text, "\x84\0\x94\0\0\x81\xE1\x8E\x99\x9A|az"s);
}

// The table is meant to be Windows' own conversion between these two pages: Wine, set up as a
// German Windows, converts every byte through CharToOemBuffA for the comparison.
TEST(CodePageTable, IsWhatWindowsMakesOfEveryByte) {
  REQUIRE_OR_SKIP(whyNoWindowsBuild());
  ScratchDirectory dir;
  const std::string out = (dir / "oem.bin").string();

  ASSERT_EQ(runCommand(underWine("tests/oem_bytes.exe", {"Z:" + out})), 0);

  const std::string bytes = readFile(out);
  ASSERT_EQ(bytes.size(), kCp1252ToCp850.size());
  for (std::size_t byte = 0; byte < bytes.size(); ++byte) {
    EXPECT_EQ(static_cast<unsigned char>(bytes[byte]), kCp1252ToCp850[byte]) << std::hex << byte;
  }
}

}  // namespace
