// Conversion of player statements to lines of the list.
#include "convert/player_record.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "conversion_test_support.h"
#include "reference_conversion.h"

namespace {

using namespace std::string_literals;

const std::string kPlayerPrefix = "REPLACE INTO `dwz_spieler` VALUES (";
const std::string kClubPrefix = "REPLACE INTO `dwz_vereine` VALUES (";

std::string playerLine(const std::string& values) { return kPlayerPrefix + values + ");"; }
std::string clubLine(const std::string& code, const std::string& name) {
  return kClubPrefix + "\"" + code + "\",\"1\",\"ABC\",\"" + name + "\");";
}

TEST(ConvertPlayerLine, AppendsTheClubNameAndEmptiesTheNulls) {
  const ClubLookup clubs = lookupForClubLines({
      clubLine("12345", "Club Name"), clubLine("22222", "SK M\xFCnchen,null"),
      clubLine("33333", "First"), clubLine("33333", "Second"),
      kClubPrefix + "\"1",  // its record is 5 bytes: a code of 4
  });
  struct Case {
    std::string line, expected;
  } const cases[] = {
      {playerLine("\"12345\",\"42\",\"Player,Name\",null,1600"),
       "\"12345\",\"42\",\"Player,Name\", \"\" ,1600,\"Club Name\""},
      {playerLine("\"99999\",\"1\",\"X\""), "\"99999\",\"1\",\"X\",\"\""},  // unknown club
      {playerLine("\"33333\",\"1\""), "\"33333\",\"1\",\"First\""},         // the first record wins
      {playerLine("\"12345\",1,null,null,2"), "\"12345\",1, \"\" , \"\" ,2,\"Club Name\""},
      {playerLine("\"12345\",nullify"), "\"12345\", \"\" ify,\"Club Name\""},
      {playerLine("null,NULL,\"1\""), "null,NULL,\"1\",\"\""},  // no comma before, or upper case
      // a ",null" in the club name goes too, and the name is in the OEM code page
      {playerLine("\"22222\",\"\xC4\""), "\"22222\",\"\x8E\",\"SK M\x81nchen, \"\" \""},
      {playerLine("X1,\"\""), "X1,\"\","},  // a short code matches a code as short
      {playerLine(""), ",\"\""},
      {"", ",\"\""},
      {"\"12345\",\"no wrapper\"", "\"12345\",\"no wrapper\",\"Club Name\""},
      {playerLine("\"12345\",\"x\");"), "\"12345\",\"x\",\"Club Name\""},  // both ends go
  };
  for (const Case& c : cases) EXPECT_EQ(convertedPlayer(c.line, clubs), c.expected) << c.line;
}

TEST(ConvertPlayerLine, GivesEveryPlayerTheEmptyClubFieldWithoutClubs) {
  const ClubLookup none = lookupForClubLines({});
  EXPECT_EQ(convertedPlayer(playerLine("\"12345\",\"1\""), none), "\"12345\",\"1\",\"\"");
}

TEST(ConvertPlayerLine, ConvertsALineLongerThanTheOutputBufferInPieces) {
  const ClubLookup clubs = lookupForClubLines({clubLine("12345", "SK B\xE4ren,null")});
  std::string values = "\"12345\"";
  std::string expected = values;
  // pieces of odd length, so that the buffer's edge falls on every byte of them in turn
  while (values.size() < 3 * OutputFile::kBufferSize) {
    values += ",null,\xE4\xF6\xFC,nullx,1,null";
    expected += ", \"\" ,\x84\x94\x81, \"\" x,1, \"\" ";
  }
  const std::string line = playerLine(values);
  expected += ",\"SK B\x84ren, \"\" \"";
  const std::vector<std::string> converted = convertedPlayers({line, line}, clubs);
  ASSERT_EQ(converted.size(), 2u);
  EXPECT_TRUE(converted[0] == expected);
  EXPECT_TRUE(converted[1] == expected);
}

TEST(ConvertPlayerLine, AgreesWithThePlainStepsOnRandomLines) {
  PieceSoup soup(1252850);
  for (int table = 0; table < 200; ++table) {
    std::vector<std::string> clubLines;
    for (std::size_t n = soup.random()() % 12; n > 0; --n) {
      const bool wellFormed = soup.random()() % 2 == 0;
      clubLines.push_back(wellFormed
                              ? clubLine(soup.random()() % 2 ? "12345" : "1234\xE4", soup.text(6))
                              : soup.text(10));
    }
    std::vector<std::string> clubRecords;
    for (const std::string& line : clubLines)
      clubRecords.push_back(reference::normaliseClubLine(line));
    const ClubLookup clubs = lookupForClubLines(clubLines);
    std::vector<std::string> lines(200);
    for (std::string& line : lines) {
      line = soup.random()() % 2 ? playerLine(soup.text(10)) : soup.text(12);
    }
    const std::vector<std::string> converted = convertedPlayers(lines, clubs);
    ASSERT_EQ(converted.size(), lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
      ASSERT_EQ(converted[i], reference::convertPlayerLine(lines[i], clubRecords))
          << testing::PrintToString(lines[i]);
    }
  }
}

}  // namespace
