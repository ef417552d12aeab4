// Writes a synthetic MPCORB catalogue for benchmarks: the published column
// layout, random elements, numbered bodies (some named, most with a
// provisional designation as name), then unnumbered ones, with the blank
// lines between the catalogue's three parts.
//
//   gen_catalogue [--records N] [--seed S] [--crlf] OUTPUT   (OUTPUT may be -)

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

struct rng {
  std::uint64_t state;
  std::uint64_t next() {  // splitmix64: fast, and plenty for test data
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  int between(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<std::uint64_t>(hi - lo + 1)); }
  double uniform(double lo, double hi) { return lo + (hi - lo) * static_cast<double>(next() >> 11) * 0x1.0p-53; }
  char pick(const char* set) { return set[next() % std::strlen(set)]; }
};

constexpr const char* kCodes = "123456789ABCDEFGHIJKLMNOPQRSTUV";
constexpr const char* kSyllables[] = {"ka",  "lo",  "mi",  "ne",  "ra", "to", "vi", "sha", "der", "mon",
                                      "bel", "cas", "tor", "ian", "el", "ar", "is", "un",  "go",  "wen"};

std::string name(rng& r) {
  std::string text;
  int words = r.between(0, 9) == 0 ? r.between(1, 3) : 1;
  for (int w = 0; w < words; ++w) {
    if (w > 0) text += r.between(0, 4) == 0 ? '-' : ' ';
    std::string word;
    for (int s = r.between(2, 4); s > 0; --s) word += kSyllables[r.next() % 20];
    word[0] = static_cast<char>(word[0] - 'a' + 'A');
    text += word;
  }
  return text.substr(0, 18);
}

constexpr const char* kBase62 = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr const char* kLetters = "ABCDEFGHJKLMNOPQRSTUVWXYZ";

// Four base-62 digits, as the MPC packs numbers past 619,999 and
// designations past cycle 619.
std::string base62(long value) {
  std::string digits(4, '0');
  for (int i = 3; i >= 0; --i, value /= 62) digits[static_cast<std::size_t>(i)] = kBase62[value % 62];
  return digits;
}

// A provisional designation, packed (for columns 1-7) and readable. The
// survey years fill their half-months far beyond the 620 cycles of the usual
// packed form: those designations take the extended form ("_QC0000" is
// 2026 CA620). No further random draws, so that the years before keep the
// records they always had.
void provisional(rng& r, std::string& packed, std::string& readable) {
  int year = r.between(1990, 2026);
  char half = r.pick("ABCDEFGHJKLMNOPQRSTUVWXY");
  int letter = static_cast<int>(r.next() % 25);
  int cycle = r.between(0, 300);
  if (year >= 2025) cycle = cycle * 25 + (half - 'A') % 25;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d %c%c", year, half, kLetters[letter]);
  readable = buf;
  if (cycle > 0) readable += std::to_string(cycle);
  if (cycle >= 620) {
    std::snprintf(buf, sizeof buf, "_%c%c%s", kBase62[year - 2000], half, base62(cycle * 25L + letter - 15500).c_str());
    packed = buf;
    return;
  }
  std::snprintf(buf, sizeof buf, "%c%02d%c%c%d%c", year < 2000 ? 'J' : 'K', year % 100, half, kBase62[cycle / 10],
                cycle % 10, kLetters[letter]);
  packed = buf;
}

std::string packed_number(long n) {
  char buf[16];
  if (n < 100000) {
    std::snprintf(buf, sizeof buf, "%05ld", n);
    return buf;
  }
  if (n < 620000) {
    std::snprintf(buf, sizeof buf, "%c%04ld", kBase62[n / 10000], n % 10000);
    return buf;
  }
  return base62(n - 620000).insert(0, 1, '~');
}

void record(rng& r, const std::string& packed, const std::string& readable, const char* nl, std::FILE* out) {
  double a = r.uniform(1.5, 5.5);
  char epoch[6] = {'K',
                   static_cast<char>('0' + 2),
                   static_cast<char>('4' + r.between(0, 2)),
                   r.pick("123456789ABC"),
                   kCodes[r.between(0, 30)],
                   0};
  char line[256];
  int n = std::snprintf(line, sizeof line,
                        "%-7s %5.2f %5.2f %s %9.5f  %9.5f  %9.5f  %9.5f  %9.7f %11.8f %11.7f  0 MPO719049 %5d %3d "
                        "%4d-%4d %4.2f M-v 30k MPCLINUX   %04X",
                        packed.c_str(), r.uniform(3, 22), 0.15, epoch, r.uniform(0, 360), r.uniform(0, 360),
                        r.uniform(0, 360), r.uniform(0, 40), r.uniform(0, 0.4), 0.9856076686 / (a * std::sqrt(a)), a,
                        r.between(10, 9000), r.between(1, 120), r.between(1900, 2015), r.between(2016, 2026),
                        r.uniform(0.1, 0.9), (r.next() % 4 == 0) ? 0x2000u : 0u);
  if (n != 165) std::abort();  // the designation must start in column 166
  std::fprintf(out, "%s%-29s%04d%02d%02d%s", line, readable.c_str(), r.between(2016, 2026), r.between(1, 12),
               r.between(1, 28), nl);
}

}  // namespace

int main(int argc, char** argv) {
  long records = 1500000;
  std::uint64_t seed = 1;
  const char* nl = "\n";
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--records" && i + 1 < argc) {
      records = std::atol(argv[++i]);
    } else if (arg == "--seed" && i + 1 < argc) {
      seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (arg == "--crlf") {
      nl = "\r\n";
    } else if (path == nullptr && (arg == "-" || arg[0] != '-')) {
      path = argv[i];
    } else {
      path = nullptr;
      break;
    }
  }
  if (path == nullptr) {
    std::fputs("usage: gen_catalogue [--records N] [--seed S] [--crlf] OUTPUT\n", stderr);
    return 2;
  }
  std::FILE* out = std::strcmp(path, "-") == 0 ? stdout : std::fopen(path, "wb");
  if (out == nullptr) {
    std::perror(path);
    return 1;
  }
  static char buffer[1 << 20];
  std::setvbuf(out, buffer, _IOFBF, sizeof buffer);

  std::fprintf(out, "MINOR PLANET CENTER ORBIT DATABASE (MPCORB)   Synthetic catalogue for benchmarks%s", nl);
  for (int i = 2; i <= 43; ++i) std::fprintf(out, "%s%s", i == 43 ? std::string(160, '-').c_str() : "   header", nl);

  rng r{seed};
  std::string packed;
  std::string readable;
  long numbered = records * 55 / 100;
  for (long i = 1; i <= numbered; ++i) {
    std::string designation;
    provisional(r, packed, designation);
    if (i < 1000 || r.between(0, 19) == 0) designation = name(r);
    char number[24];
    std::snprintf(number, sizeof number, "(%ld)", i);
    char field[40];
    std::snprintf(field, sizeof field, "%9s %s", number, designation.c_str());
    record(r, packed_number(i), field, nl, out);
  }
  std::fputs(nl, out);
  long unnumbered = records - numbered;
  for (long j = 0; j < unnumbered; ++j) {
    if (j == unnumbered * 9 / 10) std::fputs(nl, out);
    provisional(r, packed, readable);
    record(r, packed, "          " + readable, nl, out);
  }
  if (std::fflush(out) != 0 || (out != stdout && std::fclose(out) != 0)) {
    std::perror(path);
    return 1;
  }
  return 0;
}
