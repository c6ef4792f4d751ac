// Player conversion: the lines before the file separator are player lines, those after it club
// lines (split at LF alone, so any other byte can stand in a line); each converted line is
// checked against the plain steps with their linear club scan.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "convert/club_record.h"
#include "convert/player_record.h"
#include "fuzz_support.h"
#include "memory_file_system.h"
#include "reference_conversion.h"

namespace {

std::vector<std::string> splitAtLineFeeds(std::string_view bytes) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
    lines.emplace_back(bytes.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const fuzz::FilePair files = fuzz::splitFiles(fuzz::bytesOf(data, size));
  const std::vector<std::string> playerLines = splitAtLineFeeds(files.players);
  const std::vector<std::string> clubLines = splitAtLineFeeds(files.clubs);

  ClubLookup clubs = emptyClubLookup(clubLines.size());
  std::vector<std::string> plainRecords;
  std::string record;
  for (const std::string& line : clubLines) {
    normaliseClubLine(line, record);
    addClubRecord(clubs, record);
    plainRecords.push_back(reference::normaliseClubLine(line));
  }

  memory_files::reset();
  OutputFile list;
  fuzz::failUnless(!list.create("DWZ.liste"), "cannot create the list");
  std::string expected;
  for (const std::string& line : playerLines) {
    fuzz::failUnless(!convertPlayerLine(line, clubs, list), "cannot convert a player line");
    expected += reference::convertPlayerLine(line, plainRecords) + "\r\n";
  }
  fuzz::failUnless(!list.commit(), "cannot commit the list");
  fuzz::failOnDifference("list", memory_files::bytesOf("DWZ.liste"), expected);
  return 0;
}
