// Reduction of club statements to club records.
#include "convert/club_record.h"

#include <gtest/gtest.h>

#include <string>

#include "conversion_test_support.h"
#include "reference_conversion.h"

namespace {

const std::string kPrefix = "REPLACE INTO `dwz_vereine` VALUES (";

std::string clubLine(const std::string& name) {
  return kPrefix + "\"12345\",\"1\",\"ABC\",\"" + name + "\");";
}

std::string normalised(const std::string& line) {
  std::string record = "left over from the record before";
  normaliseClubLine(line, record);
  return record;
}

TEST(NormaliseClubLine, KeepsTheQuotedCodeAndTheNameCutTo32Bytes) {
  const std::string name32(32, 'n');
  struct Case {
    std::string line, record;
  } const cases[] = {
      {clubLine("Club Name"), "\"12345\",\"Club Name\""},
      {clubLine(name32), "\"12345\",\"" + name32 + "\""},
      {clubLine(name32 + "X"), "\"12345\",\"" + name32 + "\""},
      {clubLine("SV \"Turm\" Beispiel"), "\"12345\",\"SV 'Turm' Beispiel\""},
      // apostrophes count like any byte in the cut
      {clubLine(std::string(31, 'n') + "\"\"\""), "\"12345\",\"" + std::string(31, 'n') + "'\""},
      {clubLine("M\xFCnchen") + "\");", "\"12345\",\"M\xFCnchen\""},  // both statement ends go
      {"", ",\"\""},
      {kPrefix + "\"12345\",\"1\",\"ABC\"", "\"12345\",\"\""},  // 17 bytes after the prefix
      {kPrefix + "\"12345\",\"1\",\"ABC\",\",\",\"Name\");", "\"12345\",\"Name\""},
      {kPrefix + "\"123", "\"123,\"\""},
      // without the prefix the positions fall on the statement itself
      {"INSERT INTO x VALUES (\"12345\",\"Name\");", "INSERT ,\"UES ('12345','Name\""},
  };
  for (const Case& c : cases) EXPECT_EQ(normalised(c.line), c.record) << c.line;
}

TEST(NormaliseClubLine, AgreesWithThePlainStepsOnRandomLines) {
  PieceSoup soup(4711);
  for (int round = 0; round < 20000; ++round) {
    const std::string line = soup.text(12);
    ASSERT_EQ(normalised(line), reference::normaliseClubLine(line)) << testing::PrintToString(line);
  }
}

}  // namespace
