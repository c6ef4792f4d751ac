// The conversion run: read the two dumps, normalise the clubs, write the list.
#include "app/run_conversion.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "convert/club_record.h"
#include "convert/player_record.h"
#include "lines/line_file.h"
#include "window/status_window.h"

namespace {

constexpr const char* kPlayerFile = "Spieler.sql";
constexpr const char* kClubFile = "Vereine.sql";
constexpr const char* kListFile = "DWZ.liste";
// How many players ahead the club is fetched from memory: enough to cover a memory access.
constexpr std::size_t kClubLookahead = 8;
constexpr int kSuccess = 0;
constexpr int kFailure = 1;

void printMessage(const char* file, const FileError& error, const char* consequence) {
  std::fprintf(stderr, "dwzliste: cannot %s %s: %s%s\n", error.step, file,
               systemErrorText(error.code).c_str(), consequence);
}

int fail(const char* file, const FileError& error) {
  printMessage(file, error, "");
  return kFailure;
}

bool cannotOpen(const FileError& error) { return std::string_view(error.step) == "open"; }

int convertLists() {
  // read the players
  LineTable players;
  ReadResult read = readLineFile(kPlayerFile, players, isAbortKeyDown);
  if (read.error) return fail(kPlayerFile, read.error);
  const std::size_t playerCount = read.count;

  // read the clubs; a missing club file only costs the club names
  LineTable clubLines;
  read = readLineFile(kClubFile, clubLines, isAbortKeyDown);
  if (read.error && !cannotOpen(read.error)) return fail(kClubFile, read.error);
  if (read.error) printMessage(kClubFile, read.error, "; the list has no club names");

  // normalise every club record, and note each club code's first record
  ClubLookup clubs = emptyClubLookup(clubLines.count());
  std::string record;
  for (std::size_t j = 1; j <= clubLines.count(); ++j) {
    normaliseClubLine(clubLines.line(j), record);
    addClubRecord(clubs, record);
  }
  clubLines = LineTable();

  // convert every player record and write it, in input order
  OutputFile list;
  if (FileError error = list.create(kListFile)) return fail(kListFile, error);
  for (std::size_t k = 1; k <= playerCount; ++k) {
    if (k + kClubLookahead <= playerCount) prefetchClubFor(players.line(k + kClubLookahead), clubs);
    if (FileError error = convertPlayerLine(players.line(k), clubs, list)) {
      return fail(kListFile, error);
    }
  }

  // the list replaces the earlier one only now that it is complete
  if (FileError error = list.commit()) return fail(kListFile, error);
  return kSuccess;
}

}  // namespace

int runConversion() {
  // open the status window; the run goes on without one
  openStatusWindow();
  int status;
  try {
    status = convertLists();
  } catch (const std::bad_alloc&) {
    status = fail(kListFile, {"make", ENOMEM});
  }
  // close the window before the program ends
  closeStatusWindow();
  return status;
}
