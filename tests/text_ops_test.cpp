// Edge behaviour of the byte-string operations.
#include "text/text_ops.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "reference_conversion.h"

namespace {

using namespace std::string_literals;

TEST(LeftChars, TakesAtMostTheBytesThereAre) {
  struct Case {
    std::string_view s;
    TextPos n;
    std::string_view expected;
  } const cases[] = {
      {"abc", 7, "abc"}, {"abc", 3, "abc"}, {"abc", 2, "ab"},
      {"abc", 0, ""},    {"abc", -1, ""},   {"", 5, ""},
  };
  for (const Case& c : cases) EXPECT_EQ(leftChars(c.s, c.n), c.expected) << c.s << " " << c.n;
}

TEST(MidChars, IsEmptyOutsideTheTextAndCountsNegativeAsTheRest) {
  const std::string seventeen(17, 'x');
  struct Case {
    std::string_view s;
    TextPos start, count;
    std::string_view expected;
  } const cases[] = {
      {seventeen, 18, 5, ""},      {seventeen, 18, -1, ""}, {"abcdefgh", 9, -1, ""},
      {"abcdefghi", 9, -1, "i"},   {"abcdef", 2, 3, "bcd"}, {"abcdef", 4, 10, "def"},
      {"abcdef", 1, -1, "abcdef"}, {"abcdef", 0, 3, ""},    {"abcdef", -2, 3, ""},
      {"abcdef", 2, 0, ""},        {"", 1, -1, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(midChars(c.s, c.start, c.count), c.expected)
        << c.s << " " << c.start << " " << c.count;
  }
}

TEST(FindText, GivesTheFirstPositionAtOrAfterStartOrZero) {
  struct Case {
    TextPos start;
    std::string s, p;
    TextPos expected;
  } const cases[] = {
      {1, ",null,x", ",null", 1},
      {2, ",null,null", ",null", 6},
      {7, ",null,null", ",null", 0},
      {1, "abc", "c", 3},
      {3, "abc", "c", 3},
      {4, "abc", "c", 0},
      {0, "abc", "a", 0},
      {-1, "abc", "a", 0},
      {1, "", "a", 0},
      {1, "abc", "", 0},
      {1, "ab", "abc", 0},
      {1, "aNULL", "null", 0},
      {1, "a\0b"s, "\0"s, 2},
      {1, std::string(40, 'x') + "\"", "\"", 41},  // one byte, past the first sixteen
      {1, std::string(33, ',') + ",null", ",null", 34},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(findText(c.start, c.s, c.p), c.expected) << c.start << " " << c.s << " " << c.p;
  }
}

TEST(FindText, AgreesWithAPlainSearchAtEveryLengthAndStart) {
  std::mt19937 random(850);
  const std::string patterns[] = {",null", "\"", ");", ",\"", "ll"};
  for (int round = 0; round < 3000; ++round) {
    std::string s(random() % 60, ' ');
    for (char& byte : s) byte = ",null\");x"[random() % 9];
    for (const std::string& p : patterns) {
      const TextPos start = static_cast<TextPos>(random() % (s.size() + 2));
      ASSERT_EQ(findText(start, s, p), reference::findText(start, s, p))
          << s << " " << p << " " << start;
    }
  }
}

TEST(TrimPattern, RemovesEveryWholeCopyAtItsEndOnly) {
  struct Case {
    std::string_view s, p, leading, trailing;
  } const cases[] = {
      {"\");\");", "\");", "", ""},  // nothing but copies: empty, no look before byte 1
      {"xy);", ");", "xy);", "xy"},
      {"xy););", ");", "xy););", "xy"},
      {");xy", ");", "xy", ");xy"},
      {"););xy);", ");", "xy);", "););xy"},
      {"a", ");", "a", "a"},  // shorter than the pattern: unchanged
      {");)", ");", ")", ");)"},
      {"", ");", "", ""},
      {",\",\"name", ",\"", "name", ",\",\"name"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(trimLeadingPattern(c.s, c.p), c.leading) << c.s;
    EXPECT_EQ(trimTrailingPattern(c.s, c.p), c.trailing) << c.s;
  }
}

TEST(OverwriteAt, NeverChangesTheLength) {
  struct Case {
    std::string s;
    TextPos start, count;
    std::string_view src, expected;
  } cases[] = {
      {"abcdef", 6, 5, "VWXYZ", "abcdeV"},  // at the last position only one byte fits
      {"abcdef", 2, 2, "XYZ", "aXYdef"},   {"abcdef", 2, -1, "XYZ", "aXYZef"},
      {"abcdef", 2, 9, "XYZ", "aXYZef"},   {"abcdef", 0, 3, "XYZ", "abcdef"},
      {"abcdef", 7, 3, "XYZ", "abcdef"},   {"abcdef", 2, 0, "XYZ", "abcdef"},
      {"abcdef", 2, 3, "", "abcdef"},      {"", 1, 3, "XYZ", ""},
  };
  for (Case& c : cases) {
    overwriteAt(c.s, c.start, c.count, c.src);
    EXPECT_EQ(c.s, c.expected) << c.start << " " << c.count << " " << c.src;
  }
}

TEST(ReplaceEvery, ReplacesEachOccurrenceIncludingAdjacentOnesAndTheEdges) {
  struct Case {
    std::string s;
    std::string_view expected;
  } cases[] = {
      {"1,null,null,2", "1, \"\" , \"\" ,2"},
      {",null", ", \"\" "},
      {"x,null", "x, \"\" "},
      {",nullify", ", \"\" ify"},
      {"null,NULL,Null", "null,NULL,Null"},
      {",nul", ",nul"},
      {"", ""},
  };
  for (Case& c : cases) {
    replaceEvery(c.s, ",null", ", \"\" ");
    EXPECT_EQ(c.s, c.expected);
  }
}

}  // namespace
