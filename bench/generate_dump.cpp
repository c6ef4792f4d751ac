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
  std::int64_t first_fide_id;
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

  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }

  // Modulo bias is negligible for the small ranges used here.
  std::size_t Below(std::size_t bound) { return static_cast<std::size_t>(Next() % bound); }

  int Between(int low, int high) {
    return low + static_cast<int>(Below(static_cast<std::size_t>(high - low) + 1));
  }

  bool Permille(int share) { return Below(1000) < static_cast<std::size_t>(share); }

  template <typename T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
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
  void Quoted(std::string_view value) {
    Separate();
    line_ += '"';
    line_ += value;
    line_ += '"';
  }

  void Number(std::int64_t value) {
    Separate();
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    line_.append(digits, result.ptr);
  }

  void Null() {
    Separate();
    line_ += "null";
  }

  void QuotedOrNull(std::string_view value) {
    if (value.empty()) {
      Null();
    } else {
      Quoted(value);
    }
  }

  void NumberOrNull(std::optional<std::int64_t> value) {
    if (value) {
      Number(*value);
    } else {
      Null();
    }
  }

  void Finish() { line_ += ");\n"; }

 private:
  void Separate() {
    if (fields_++ > 0) line_ += ',';
  }

  std::string& line_;
  int fields_ = 0;
};

class DumpFile {
 public:
  explicit DumpFile(const std::string& path) : path_(path), buffer_(kWriteBufferBytes) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) Fail("cannot create");
    std::setvbuf(file_, buffer_.data(), _IOFBF, buffer_.size());
  }

  DumpFile(const DumpFile&) = delete;
  DumpFile& operator=(const DumpFile&) = delete;

  ~DumpFile() {
    if (file_ != nullptr) std::fclose(file_);
  }

  void Write(std::string_view line) {
    if (std::fwrite(line.data(), 1, line.size(), file_) != line.size()) {
      Fail("cannot write");
    }
  }

  void Close() {
    std::FILE* file = file_;
    file_ = nullptr;
    if (std::fclose(file) != 0) Fail("cannot close");
  }

 private:
  [[noreturn]] void Fail(const char* what) {
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

std::string RandomClubCode(Rng& rng) {
  std::string code(1, kRegions[rng.Below(kRegions.size())]);
  char digits[8];
  std::snprintf(digits, sizeof digits, "%04d", rng.Between(0, 9999));
  code += digits;
  return code;
}

std::string UnusedClubCode(Rng& rng, std::unordered_set<std::string>& used) {
  for (;;) {
    std::string code = RandomClubCode(rng);
    if (used.insert(code).second) return code;
  }
}

std::string RandomClubName(Rng& rng) {
  std::string name(rng.Pick(kClubPrefixes));
  name += ' ';
  if (rng.Permille(kQuotedClubNamePermille)) {
    name += '"';
    name += rng.Pick(kClubNicknames);
    name += "\" ";
  }
  name += rng.Pick(kPlaces);
  if (rng.Permille(kTwoPlaceClubPermille)) {
    name += '/';
    name += rng.Pick(kPlaces);
  }
  if (rng.Permille(kFoundingYearPermille)) {
    name += ' ';
    name += std::to_string(rng.Between(1860, 2015));
  }
  name += rng.Pick(kClubSuffixes);
  return name;
}

void Shuffle(Rng& rng, std::vector<Club>& clubs) {
  for (std::size_t i = clubs.size(); i > 1; --i) {
    std::swap(clubs[i - 1], clubs[rng.Below(i)]);
  }
}

// A few codes appear twice so that REPLACE semantics get exercised.
std::vector<Club> MakeClubs(Rng& rng, std::size_t count, std::unordered_set<std::string>& used) {
  std::size_t duplicates =
      count >= 4 ? std::max<std::size_t>(2, count / kClubsPerDuplicateCode) : 0;
  std::vector<Club> clubs;
  clubs.reserve(count);
  while (clubs.size() < count - duplicates) {
    clubs.push_back({UnusedClubCode(rng, used), RandomClubName(rng)});
  }
  std::size_t originals = clubs.size();
  while (clubs.size() < count) {
    clubs.push_back({clubs[rng.Below(originals)].zps, RandomClubName(rng)});
  }
  Shuffle(rng, clubs);
  return clubs;
}

void WriteClubs(const std::string& path, const std::vector<Club>& clubs) {
  DumpFile file(path);
  std::string line;
  for (const Club& club : clubs) {
    RowWriter row(line, "dwz_vereine");
    row.Quoted(club.zps);
    row.Quoted(club.zps.substr(0, 1));
    row.Quoted(club.zps.substr(0, 2) + "0");
    row.Quoted(club.name);
    row.Finish();
    file.Write(line);
  }
  file.Close();
}

// Membership numbers rise per code so (ZPS, Mgl_Nr) stays a unique key; they
// only outgrow four digits beyond roughly 4000 players per code.
struct MemberCode {
  std::string zps;
  int next_member = 0;
};

std::vector<MemberCode> MakeMemberCodes(Rng& rng, const std::vector<Club>& clubs) {
  std::unordered_set<std::string> seen;
  std::vector<MemberCode> codes;
  for (const Club& club : clubs) {
    if (seen.insert(club.zps).second) {
      codes.push_back({club.zps, rng.Between(100, 1100)});
    }
  }
  return codes;
}

std::vector<MemberCode> MakeOrphanCodes(Rng& rng, std::size_t club_count,
                                        std::unordered_set<std::string>& used) {
  std::vector<MemberCode> codes(1 + club_count / kClubsPerOrphanCode);
  for (MemberCode& code : codes) {
    code.zps = UnusedClubCode(rng, used);
    code.next_member = rng.Between(100, 1100);
  }
  return codes;
}

std::string NextMemberNumber(Rng& rng, MemberCode& code) {
  std::string number = std::to_string(code.next_member);
  code.next_member += rng.Between(1, 3);
  return number;
}

std::string PlayerName(Rng& rng, bool female) {
  std::string name(rng.Pick(kLastNames));
  if (rng.Permille(kDoubleLastNamePermille)) {
    name += '-';
    name += rng.Pick(kLastNames);
  }
  name += ',';
  name += female ? rng.Pick(kFemaleFirstNames) : rng.Pick(kMaleFirstNames);
  if (rng.Permille(kDoubleFirstNamePermille)) {
    name += ' ';
    name += female ? rng.Pick(kFemaleFirstNames) : rng.Pick(kMaleFirstNames);
  }
  return name;
}

// Sum of three uniforms gives a bell-shaped rating curve around 1650.
int RandomDwz(Rng& rng) {
  return 600 + rng.Between(0, 700) + rng.Between(0, 700) + rng.Between(0, 700);
}

std::string RandomEvaluation(Rng& rng, int birth_year) {
  int first_year = std::max(1993, birth_year + 6);
  int year = rng.Between(std::min(first_year, 2024), 2024);
  return std::to_string(year * 100 + rng.Between(1, 52));
}

std::string_view FideTitle(Rng& rng, int elo, bool female) {
  if (elo >= 2500 && rng.Permille(600)) return female ? "WGM" : "GM";
  if (elo >= 2400 && rng.Permille(500)) return female ? "WIM" : "IM";
  if (elo >= 2300 && rng.Permille(400)) return female ? "WFM" : "FM";
  if (elo >= 2200 && rng.Permille(150)) return female ? "WCM" : "CM";
  return {};
}

class PlayerGenerator {
 public:
  PlayerGenerator(Rng& rng, std::vector<MemberCode> club_codes,
                  std::vector<MemberCode> orphan_codes)
      : rng_(rng), club_codes_(std::move(club_codes)), orphan_codes_(std::move(orphan_codes)) {}

  void WriteRow(RowWriter& row) {
    bool female = rng_.Permille(kFemalePermille);
    int birth_year = rng_.Between(1930, 2017);
    bool rated = !rng_.Permille(kUnratedPermille);
    std::optional<std::int64_t> dwz;
    std::string evaluation;
    if (rated) {
      dwz = RandomDwz(rng_);
      if (!rng_.Permille(kRatedWithoutDatePermille)) {
        evaluation = RandomEvaluation(rng_, birth_year);
      }
    }
    MemberCode& code = PickCode();
    row.Quoted(code.zps);
    row.Quoted(NextMemberNumber(rng_, code));
    row.Quoted(rng_.Permille(kPassivePermille) ? "P" : "A");
    row.Quoted(PlayerName(rng_, female));
    row.Quoted(female ? "W" : "M");
    row.Quoted(rng_.Pick(kEligibilities));
    row.Number(birth_year);
    row.QuotedOrNull(evaluation);
    row.NumberOrNull(dwz);
    row.NumberOrNull(rated ? std::optional<std::int64_t>(rng_.Between(1, 150)) : std::nullopt);
    WriteFideFields(row, dwz, female);
    row.Finish();
  }

 private:
  MemberCode& PickCode() {
    if (rng_.Permille(kOrphanPlayerPermille) || club_codes_.empty()) {
      return orphan_codes_[rng_.Below(orphan_codes_.size())];
    }
    return club_codes_[rng_.Below(club_codes_.size())];
  }

  void WriteFideFields(RowWriter& row, std::optional<std::int64_t> dwz, bool female) {
    if (!rng_.Permille(kFidePermille)) {
      for (int i = 0; i < 4; ++i) row.Null();
      return;
    }
    std::optional<std::int64_t> elo;
    if (!rng_.Permille(kFideWithoutEloPermille)) {
      int base = dwz ? static_cast<int>(*dwz) : rng_.Between(1000, 2200);
      elo = std::max(1000, base + rng_.Between(-100, 100));
    }
    std::size_t federation = PickFederation();
    // Separate running offsets keep FIDE ids unique; the ranges never meet.
    fide_offsets_[federation] += rng_.Between(1, 5);
    row.NumberOrNull(elo);
    row.QuotedOrNull(elo ? FideTitle(rng_, static_cast<int>(*elo), female) : std::string_view());
    row.Number(kFederations[federation].first_fide_id + fide_offsets_[federation]);
    row.Quoted(kFederations[federation].code);
  }

  std::size_t PickFederation() {
    int total = 0;
    for (const Federation& federation : kFederations) total += federation.weight;
    int ticket = rng_.Between(1, total);
    std::size_t index = 0;
    while (ticket > kFederations[index].weight) {
      ticket -= kFederations[index].weight;
      ++index;
    }
    return index;
  }

  Rng& rng_;
  std::vector<MemberCode> club_codes_;
  std::vector<MemberCode> orphan_codes_;
  std::int64_t fide_offsets_[std::size(kFederations)] = {};
};

void WritePlayers(const std::string& path, std::size_t count, PlayerGenerator& generator) {
  DumpFile file(path);
  std::string line;
  for (std::size_t i = 0; i < count; ++i) {
    RowWriter row(line, "dwz_spieler");
    generator.WriteRow(row);
    file.Write(line);
  }
  file.Close();
}

bool ParseCount(const char* text, std::uint64_t* value) {
  if (*text == '\0' || *text == '-') return false;
  char* end = nullptr;
  errno = 0;
  unsigned long long parsed = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0') return false;
  *value = parsed;
  return true;
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: bench_generate_dump DIR PLAYERS CLUBS [SEED]\n"
               "writes DIR/Spieler.sql and DIR/Vereine.sql; "
               "CLUBS must be 1..%zu\n",
               kMaxClubs);
  std::exit(2);
}

void EnsureDirectory(const std::string& dir) {
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
  if (argc < 4 || argc > 5 || !ParseCount(argv[2], &players) || !ParseCount(argv[3], &clubs) ||
      clubs == 0 || clubs > kMaxClubs || (argc == 5 && !ParseCount(argv[4], &seed))) {
    Usage();
  }
  std::string dir = argv[1];
  EnsureDirectory(dir);

  Rng rng(seed);
  std::unordered_set<std::string> used_codes;
  std::vector<Club> club_rows = MakeClubs(rng, clubs, used_codes);
  WriteClubs(dir + "/Vereine.sql", club_rows);

  std::vector<MemberCode> orphans = MakeOrphanCodes(rng, clubs, used_codes);
  PlayerGenerator generator(rng, MakeMemberCodes(rng, club_rows), std::move(orphans));
  WritePlayers(dir + "/Spieler.sql", players, generator);
  return 0;
}
