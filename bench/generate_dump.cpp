// Writes synthetic CP1252 Spieler.sql and Vereine.sql dumps for benchmarking.

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

constexpr std::uint64_t kDefaultSeed = 1;
constexpr std::size_t kWriteBufferBytes = std::size_t{4} << 20;
constexpr std::size_t kMaxClubs = 100000;

// Region characters lead every club code; 22 regions x 10000 numbers leave
// enough room that rejection sampling stays cheap even at kMaxClubs.
constexpr std::string_view kRegions = "123456789ABCDEFGHIJKLM";

// Per mille shares, chosen to resemble a national rating list.
constexpr int kOrphanPlayerPermille = 30;
constexpr int kPassivePermille = 100;
constexpr int kFemalePermille = 110;
constexpr int kUnratedPermille = 150;
constexpr int kRatedWithoutDatePermille = 20;
constexpr int kFidePermille = 300;
constexpr int kFideWithoutEloPermille = 150;
constexpr int kDoubleLastNamePermille = 30;
constexpr int kDoubleFirstNamePermille = 30;
constexpr int kQuotedClubNamePermille = 15;
constexpr int kTwoPlaceClubPermille = 150;
constexpr int kFoundingYearPermille = 300;
// Keeps the share of duplicate codes the same at every club count.
constexpr std::size_t kClubsPerDuplicateCode = 1300;
constexpr std::size_t kClubsPerOrphanCode = 100;

// A hex escape would swallow a following a-f letter, hence the split literals;
// clang-format would put every name on its own line around them.
// clang-format off
constexpr std::string_view kLastNames[] = {
    "M\xFCller",      "Schmidt",        "Schneider",      "Fischer",        "Weber",
    "Meyer",          "Wagner",         "Becker",         "Schulz",         "Hoffmann",
    "Sch\xE4" "fer",  "Koch",           "Bauer",          "Richter",        "Klein",
    "Wolf",           "Schr\xF6" "der", "Neumann",        "Schwarz",        "Zimmermann",
    "Braun",          "Kr\xFCger",      "Hofmann",        "Hartmann",       "Lange",
    "Schmitt",        "Werner",         "Schmitz",        "Krause",         "Meier",
    "Lehmann",        "Schmid",         "Schulze",        "Maier",          "K\xF6hler",
    "Herrmann",       "K\xF6nig",       "Walter",         "Mayer",          "Huber",
    "Kaiser",         "Fuchs",          "Peters",         "Lang",           "Scholz",
    "M\xF6ller",      "Wei\xDF",        "Jung",           "Hahn",           "Schubert",
    "Vogel",          "Friedrich",      "Keller",         "G\xFCnther",     "Frank",
    "Berger",         "Winkler",        "Roth",           "Beck",           "Lorenz",
    "Baumann",        "Franke",         "Albrecht",       "Schuster",       "Simon",
    "Ludwig",         "B\xF6hm",        "Winter",         "Kraus",          "Martin",
    "Schumacher",     "Kr\xE4mer",      "Vogt",           "Stein",          "J\xE4ger",
    "Otto",           "Sommer",         "Gro\xDF",        "Seidel",         "Heinrich",
    "Brandt",         "Haas",           "Schreiber",      "Graf",           "D\xFCrr",
    "Sch\xFCtz",      "Ku\xDFmaul",     "\xD6zdemir",     "\xDCnal",        "\xC4hrlich",
    "Lef\xE8vre",     "Mu\xF1oz",       "\xC7" "elik",    "S\xF8ndergaard", "Garc\xED" "a",
    "Ohlstr\xF6m",    "Nov\xE1k"};

constexpr std::string_view kMaleFirstNames[] = {
    "Hans",           "Peter",          "Michael",        "Thomas",         "Andreas",
    "Wolfgang",       "Klaus",          "J\xFCrgen",      "G\xFCnter",      "Stefan",
    "Christian",      "Uwe",            "Werner",         "Horst",          "Frank",
    "Dieter",         "Manfred",        "Bernd",          "Ralf",           "Markus",
    "Matthias",       "Alexander",      "Martin",         "Sebastian",      "Tobias",
    "Jan",            "Lukas",          "Felix",          "Jonas",          "Leon",
    "Maximilian",     "Paul",           "J\xF6rg",        "Bj\xF6rn",       "S\xF6ren",
    "Jens",           "Karl-Heinz",     "Hans-J\xFCrgen", "Andr\xE9",       "Ren\xE9",
    "Jos\xE9",        "No\xEBl",        "S\xF8ren",       "Fran\xE7ois"};

constexpr std::string_view kFemaleFirstNames[] = {
    "Maria",         "Ursula",        "Monika",        "Petra",         "Sabine",
    "Claudia",       "Susanne",       "Andrea",        "Birgit",        "Anna",
    "Julia",         "Laura",         "Lena",          "Sophie",        "Hannah",
    "Elisabeth",     "Katrin",        "Heike",         "Anja",          "Nicole",
    "B\xE4rbel",     "K\xE4the",      "J\xF6rdis",     "D\xF6rte",      "H\xE9l\xE8ne",
    "Zo\xEB",        "Ren\xE9" "e",   "Marie-Luise",   "Anne-K\xE4the"};

constexpr std::string_view kClubPrefixes[] = {
    "SK",                 "SC",                 "SV",                 "SF",
    "TSV",                "TuS",                "SG",                 "SSV",
    "TV",                 "Post-SV",            "Schachklub",         "Schachclub",
    "Schachverein",       "Schachfreunde",      "Schachgemeinschaft", "K\xF6nigsspringer"};

constexpr std::string_view kPlaces[] = {
    "Musterstadt",                      "M\xFCnchen",
    "K\xF6ln",                          "D\xFCsseldorf",
    "N\xFC" "rnberg",                   "W\xFCrzburg",
    "L\xFC" "beck",                     "G\xF6ttingen",
    "Saarbr\xFC" "cken",                "Osnabr\xFC" "ck",
    "F\xFCrth",                         "T\xFC" "bingen",
    "Bad D\xFCrkheim",                  "M\xF6nchengladbach",
    "Neustadt an der Weinstra\xDF" "e", "Frankfurt am Main",
    "Offenbach",                        "Gie\xDF" "en",
    "L\xF6rrach",                       "\xDC" "berlingen",
    "\xD6tisheim",                      "Bad S\xE4" "ckingen",
    "Hamburg",                          "Berlin",
    "Bremen",                           "Hannover",
    "Leipzig",                          "Dresden",
    "Erfurt",                           "Magdeburg",
    "Rostock",                          "Kiel",
    "Mainz",                            "Wiesbaden",
    "Stuttgart",                        "Karlsruhe",
    "Freiburg im Breisgau",             "Regensburg",
    "Passau",                           "Zweibr\xFC" "cken",
    "Bergisch Gladbach",                "Castrop-Rauxel",
    "Villingen-Schwenningen",           "Garmisch-Partenkirchen",
    "Wei\xDF" "enfels"};
// clang-format on

constexpr std::string_view kClubNicknames[] = {"Turm",     "Springer", "Caissa", "L\xE4ufer",
                                               "Rochade",  "K\xF6nig", "Dame",   "Patt",
                                               "Zugzwang", "Bauer"};

constexpr std::string_view kEligibilities[] = {"D", "D", "D", "D", "D", "D", "D",
                                               "D", "D", "D", "D", "D", "D", "D",
                                               "D", "D", "D", "E", "G", "A", "S"};

struct Federation {
  std::string_view code;
  std::int64_t firstFideId;
  int weight;
};

// Germany dominates; the rest are neighbours and frequent guest players.
constexpr Federation kFederations[] = {
    {"GER", 4600000, 180}, {"AUT", 1600000, 3}, {"SUI", 1300000, 2},  {"NED", 1000000, 2},
    {"POL", 1100000, 3},   {"TUR", 6300000, 2}, {"UKR", 14100000, 3}, {"FRA", 600000, 1},
    {"CZE", 300000, 2},    {"DEN", 1400000, 1}, {"ITA", 800000, 1}};

constexpr std::string_view kClubSuffixes[] = {
    "", "", " e.V.", " e.V.", " e.V.", ", Abt. Schach", " 1920 e.V."};

// splitmix64 keeps the output identical across standard library versions,
// which the <random> distributions do not guarantee.
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Modulo bias is negligible for the small ranges used here.
  std::size_t below(std::size_t bound) { return static_cast<std::size_t>(next() % bound); }

  int between(int low, int high) {
    return low + static_cast<int>(below(static_cast<std::size_t>(high - low) + 1));
  }

  bool permille(int share) { return below(1000) < static_cast<std::size_t>(share); }

  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }

 private:
  std::uint64_t state_;
};

// Reuses one line buffer for every row to keep allocations out of the loop.
class RowWriter {
 public:
  RowWriter(std::string& line, std::string_view table) : line_(line) {
    line_.clear();
    line_ += "REPLACE INTO `";
    line_ += table;
    line_ += "` VALUES (";
  }

  // Embedded double quotes stay unescaped, as in SV "Turm" Beispiel, so a
  // reader has to tell the closing quote by the separator after it.
  void quoted(std::string_view value) {
    separate();
    line_ += '"';
    line_ += value;
    line_ += '"';
  }

  void number(std::int64_t value) {
    separate();
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    line_.append(digits, result.ptr);
  }

  void null() {
    separate();
    line_ += "null";
  }

  void quotedOrNull(std::string_view value) {
    if (value.empty()) {
      null();
    } else {
      quoted(value);
    }
  }

  void numberOrNull(std::optional<std::int64_t> value) {
    if (value) {
      number(*value);
    } else {
      null();
    }
  }

  void finish() { line_ += ");\n"; }

 private:
  void separate() {
    if (fields_++ > 0) line_ += ',';
  }

  std::string& line_;
  int fields_ = 0;
};

class DumpFile {
 public:
  explicit DumpFile(const std::string& path) : path_(path), buffer_(kWriteBufferBytes) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) fail("cannot create");
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  }

  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;

  ~DumpFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

  void write(std::string_view line) {
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) {
      fail("cannot write");
    }
  }

  void close() {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) fail("cannot close");
  }

 private:
  [[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "bench_generate_dump: %s %s: %s\n", what, path_.c_str(),
                 std::strerror(errno));
    std::exit(1);
  }

  std::string path_;
  std::vector<char> buffer_;
  std::FILE* file_ = nullptr;
};

struct Club {
  std::string zps;
  std::string name;
};

std::string randomClubCode(Rng& rng) {
  std::string code(1, kRegions[rng.below(kRegions.size())]);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04d", rng.between(0, 9999));
  code += digits;
  return code;
}

std::string unusedClubCode(Rng& rng, std::unordered_set<std::string>& used) {
  for (;;) {
    std::string code = randomClubCode(rng);
    if (used.insert(code).second) return code;
  }
}

std::string randomClubName(Rng& rng) {
  std::string name(rng.pick(kClubPrefixes));
  name += ' ';
  if (rng.permille(kQuotedClubNamePermille)) {
    name += '"';
    name += rng.pick(kClubNicknames);
    name += "\" ";
  }
  name += rng.pick(kPlaces);
  if (rng.permille(kTwoPlaceClubPermille)) {
    name += '/';
    name += rng.pick(kPlaces);
  }
  if (rng.permille(kFoundingYearPermille)) {
    name += ' ';
    name += std::to_string(rng.between(1860, 2015));
  }
  name += rng.pick(kClubSuffixes);
  return name;
}

void shuffle(Rng& rng, std::vector<Club>& clubs) {
  for (std::size_t i = clubs.size(); i > 1; --i) {
    std::swap(clubs[i - 1], clubs[rng.below(i)]);
  }
}

// A few codes appear twice so that REPLACE semantics get exercised.
std::vector<Club> makeClubs(Rng& rng, std::size_t count, std::unordered_set<std::string>& used) {
  std::size_t duplicates =
      count >= 4 ? std::max<std::size_t>(2, count / kClubsPerDuplicateCode) : 0;
  std::vector<Club> clubs;
  clubs.reserve(count);
  while (clubs.size() < count - duplicates) {
    clubs.push_back({unusedClubCode(rng, used), randomClubName(rng)});
  }
  std::size_t originals = clubs.size();
  while (clubs.size() < count) {
    clubs.push_back({clubs[rng.below(originals)].zps, randomClubName(rng)});
  }
  shuffle(rng, clubs);
  return clubs;
}

void writeClubs(const std::string& path, const std::vector<Club>& clubs) {
  DumpFile file(path);
  std::string line;
  for (const Club& club : clubs) {
    RowWriter row(line, "dwz_vereine");
    row.quoted(club.zps);
    row.quoted(club.zps.substr(0, 1));
    row.quoted(club.zps.substr(0, 2) + "0");
    row.quoted(club.name);
    row.finish();
    file.write(line);
  }
  file.close();
}

// Membership numbers rise per code so (ZPS, Mgl_Nr) stays a unique key; they
// only outgrow four digits beyond roughly 4000 players per code.
struct MemberCode {
  std::string zps;
  int nextMember = 0;
};

std::vector<MemberCode> makeMemberCodes(Rng& rng, const std::vector<Club>& clubs) {
  std::unordered_set<std::string> seen;
  std::vector<MemberCode> codes;
  for (const Club& club : clubs) {
    if (seen.insert(club.zps).second) {
      codes.push_back({club.zps, rng.between(100, 1100)});
    }
  }
  return codes;
}

std::vector<MemberCode> makeOrphanCodes(Rng& rng, std::size_t clubCount,
                                        std::unordered_set<std::string>& used) {
  std::vector<MemberCode> codes(1 + clubCount / kClubsPerOrphanCode);
  for (MemberCode& code : codes) {
    code.zps = unusedClubCode(rng, used);
    code.nextMember = rng.between(100, 1100);
  }
  return codes;
}

std::string nextMemberNumber(Rng& rng, MemberCode& code) {
  std::string number = std::to_string(code.nextMember);
  code.nextMember += rng.between(1, 3);
  return number;
}

std::string playerName(Rng& rng, bool female) {
  std::string name(rng.pick(kLastNames));
  if (rng.permille(kDoubleLastNamePermille)) {
    name += '-';
    name += rng.pick(kLastNames);
  }
  name += ',';
  name += female ? rng.pick(kFemaleFirstNames) : rng.pick(kMaleFirstNames);
  if (rng.permille(kDoubleFirstNamePermille)) {
    name += ' ';
    name += female ? rng.pick(kFemaleFirstNames) : rng.pick(kMaleFirstNames);
  }
  return name;
}

// Sum of three uniforms gives a bell-shaped rating curve around 1650.
int randomDwz(Rng& rng) {
  return 600 + rng.between(0, 700) + rng.between(0, 700) + rng.between(0, 700);
}

std::string randomEvaluation(Rng& rng, int birthYear) {
  int firstYear = std::max(1993, birthYear + 6);
  int year = rng.between(std::min(firstYear, 2024), 2024);
  return std::to_string(year * 100 + rng.between(1, 52));
}

std::string_view fideTitle(Rng& rng, int elo, bool female) {
  if (elo >= 2500 && rng.permille(600)) return female ? "WGM" : "GM";
  if (elo >= 2400 && rng.permille(500)) return female ? "WIM" : "IM";
  if (elo >= 2300 && rng.permille(400)) return female ? "WFM" : "FM";
  if (elo >= 2200 && rng.permille(150)) return female ? "WCM" : "CM";
  return {};
}

class PlayerGenerator {
 public:
  PlayerGenerator(Rng& rng, std::vector<MemberCode> clubCodes, std::vector<MemberCode> orphanCodes)
      : rng_(rng), clubCodes_(std::move(clubCodes)), orphanCodes_(std::move(orphanCodes)) {}

  void writeRow(RowWriter& row) {
    bool female = rng_.permille(kFemalePermille);
    int birthYear = rng_.between(1930, 2017);
    bool rated = !rng_.permille(kUnratedPermille);
    std::optional<std::int64_t> dwz;
    std::string evaluation;
    if (rated) {
      dwz = randomDwz(rng_);
      if (!rng_.permille(kRatedWithoutDatePermille)) {
        evaluation = randomEvaluation(rng_, birthYear);
      }
    }
    MemberCode& code = pickCode();
    row.quoted(code.zps);
    row.quoted(nextMemberNumber(rng_, code));
    row.quoted(rng_.permille(kPassivePermille) ? "P" : "A");
    row.quoted(playerName(rng_, female));
    row.quoted(female ? "W" : "M");
    row.quoted(rng_.pick(kEligibilities));
    row.number(birthYear);
    row.quotedOrNull(evaluation);
    row.numberOrNull(dwz);
    row.numberOrNull(rated ? std::optional<std::int64_t>(rng_.between(1, 150)) : std::nullopt);
    writeFideFields(row, dwz, female);
    row.finish();
  }

 private:
  MemberCode& pickCode() {
    if (rng_.permille(kOrphanPlayerPermille) || clubCodes_.empty()) {
      return orphanCodes_[rng_.below(orphanCodes_.size())];
    }
    return clubCodes_[rng_.below(clubCodes_.size())];
  }

  void writeFideFields(RowWriter& row, std::optional<std::int64_t> dwz, bool female) {
    if (!rng_.permille(kFidePermille)) {
      for (int i = 0; i < 4; ++i) row.null();
      return;
    }
    std::optional<std::int64_t> elo;
    if (!rng_.permille(kFideWithoutEloPermille)) {
      int base = dwz ? static_cast<int>(*dwz) : rng_.between(1000, 2200);
      elo = std::max(1000, base + rng_.between(-100, 100));
    }
    std::size_t federation = pickFederation();
    // Separate running offsets keep FIDE ids unique; the ranges never meet.
    fideOffsets_[federation] += rng_.between(1, 5);
    row.numberOrNull(elo);
    row.quotedOrNull(elo ? fideTitle(rng_, static_cast<int>(*elo), female) : std::string_view());
    row.number(kFederations[federation].firstFideId + fideOffsets_[federation]);
    row.quoted(kFederations[federation].code);
  }

  std::size_t pickFederation() {
    int total = 0;
    for (const Federation& federation : kFederations) total += federation.weight;
    int ticket = rng_.between(1, total);
    std::size_t index = 0;
    while (ticket > kFederations[index].weight) {
      ticket -= kFederations[index].weight;
      ++index;
    }
    return index;
  }

  Rng& rng_;
  std::vector<MemberCode> clubCodes_;
  std::vector<MemberCode> orphanCodes_;
  std::int64_t fideOffsets_[std::size(kFederations)] = {};
};

void writePlayers(const std::string& path, std::size_t count, PlayerGenerator& generator) {
  DumpFile file(path);
  std::string line;
  for (std::size_t i = 0; i < count; ++i) {
    RowWriter row(line, "dwz_spieler");
    generator.writeRow(row);
    file.write(line);
  }
  file.close();
}

bool parseCount(const char* text, std::uint64_t* value) {
  if (*text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

[[noreturn]] void usage() {
  std::fprintf(stderr,
               "usage: bench_generate_dump DIR PLAYERS CLUBS [SEED]\n"
               "writes DIR/Spieler.sql and DIR/Vereine.sql; "
               "CLUBS must be 1..%zu\n",
               kMaxClubs);
  std::exit(2);
}

void ensureDirectory(const std::string& dir) {
  if (mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "bench_generate_dump: cannot create %s: %s\n", dir.c_str(),
                 std::strerror(errno));
    std::exit(1);
  }
}

}  // namespace

int main(int argc, char** argv) {
  std::uint64_t players = 0;
  std::uint64_t clubs = 0;
  std::uint64_t seed = kDefaultSeed;
  if (argc < 4 || argc > 5 || !parseCount(argv[2], &players) || !parseCount(argv[3], &clubs) ||
      clubs == 0 || clubs > kMaxClubs || (argc == 5 && !parseCount(argv[4], &seed))) {
    usage();
  }
  std::string dir = argv[1];
  ensureDirectory(dir);

  Rng rng(seed);
  std::unordered_set<std::string> usedCodes;
  std::vector<Club> clubRows = makeClubs(rng, clubs, usedCodes);
  writeClubs(dir + "/Vereine.sql", clubRows);

  std::vector<MemberCode> orphans = makeOrphanCodes(rng, clubs, usedCodes);
  PlayerGenerator generator(rng, makeMemberCodes(rng, clubRows), std::move(orphans));
  writePlayers(dir + "/Spieler.sql", players, generator);
  return 0;
}
