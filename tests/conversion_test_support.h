// Runs the converter's own club and player steps on in-memory lines.
#pragma once

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "convert/club_record.h"
#include "convert/player_record.h"
#include "test_files.h"

// The club lookup made from raw lines of Vereine.sql.
inline ClubLookup lookupForClubLines(const std::vector<std::string>& clubLines) {
  ClubLookup clubs = emptyClubLookup(clubLines.size());
  std::string record;
  for (const std::string& line : clubLines) {
    normaliseClubLine(line, record);
    addClubRecord(clubs, record);
  }
  return clubs;
}

// The list lines, CR LF excluded, that the converter writes for the player lines, which hold no
// LF (then a list line can be told from the next).
inline std::vector<std::string> convertedPlayers(const std::vector<std::string>& lines,
                                                 const ClubLookup& clubs) {
  ScratchDirectory dir;
  const std::string path = (dir / "DWZ.liste").string();
  OutputFile list;
  EXPECT_FALSE(list.create(path.c_str()));
  for (const std::string& line : lines) EXPECT_FALSE(convertPlayerLine(line, clubs, list));
  EXPECT_FALSE(list.commit());
  return listLines(readFile(path));
}

inline std::string convertedPlayer(const std::string& line, const ClubLookup& clubs) {
  const std::vector<std::string> converted = convertedPlayers({line}, clubs);
  return converted.size() == 1 ? converted.front() : "(not one line)";
}

// Random texts made of the pieces that the conversion treats specially.
class PieceSoup {
 public:
  explicit PieceSoup(unsigned seed) : random_(seed) {}
  std::string text(std::size_t maxPieces) {
    static const std::vector<std::string> pieces = {"REPLACE INTO `dwz_spieler` VALUES (",
                                                    "REPLACE INTO `dwz_vereine` VALUES (",
                                                    ",null",
                                                    ",nul",
                                                    "null",
                                                    "NULL",
                                                    ",",
                                                    "\"",
                                                    ");",
                                                    "\");",
                                                    ",\"",
                                                    "1",
                                                    "12345",
                                                    "1234",
                                                    "\"12345\"",
                                                    "\"1234\"",
                                                    "Name",
                                                    " ",
                                                    "\xE4",
                                                    "\x80",
                                                    "\x9F",
                                                    "\xFF",
                                                    std::string(1, '\0'),
                                                    "\r",
                                                    "'",
                                                    "abcdefghijklmnopqrstuvwxyz0123456789"};
    std::string text;
    for (std::size_t n = random_() % (maxPieces + 1); n > 0; --n) {
      text += pieces[random_() % pieces.size()];
    }
    return text;
  }
  std::mt19937& random() { return random_; }

 private:
  std::mt19937 random_;
};
