// The merge, on catalogues in every layout the planetarium reads.
#include "catalogue/catalogue_update.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "records/comet_record.h"
#include "records/mpcorb_record.h"
#include "test_support.h"

namespace quelvarn {
namespace {

using testing::crlf;

// A record line of the published layout: H, mean anomaly (9 columns) and
// designation (columns 166 onwards) as given.
std::string record(const std::string& h, const std::string& mean_anomaly, const std::string& designation) {
  std::string line = "00001   " + h + "  0.15 K239D " + mean_anomaly +
                     "  150.14563  211.31012   12.95437  0.0874361  0.21409163   2.7678915  0 MPO600000  2000  50 "
                     "1900-2020 0.50 M-v 30h MPCLINUX   0000 ";
  line.resize(165, ' ');
  line += designation;
  line.resize(202, ' ');
  return line;
}

std::string plain_section(const std::string& line, section_layout layout = section_layout::classic) {
  char text[kMaxSectionSize];
  return {text, record2section(line, text, layout)};
}

struct result {
  std::string text;
  update_counts counts;
};

// Minor-planet records and comet lines alike, as the record loop adds them,
// their sections in the given layout; none: the catalogue's own, as without
// --layout.
result update(const std::string& existing, const std::vector<std::string>& lines, std::string_view line_end = "\n",
              std::optional<section_layout> layout = section_layout::classic) {
  string_sink spooled;
  output_buffer spool(spooled, block_writer::caller);
  catalogue_update merge(existing, spool, line_end);
  section_layout chosen = layout.value_or(merge.layout());
  for (const std::string& line : lines) {
    if (comet_line_problem(line).empty()) {
      merge.add(comet_body_identity(line), comet_section_text(line, chosen), comet_update_keys());
    } else {
      merge.add(minor_planet_identity(line), plain_section(line, chosen), minor_planet_update_keys());
    }
  }
  spool.finish();
  string_sink written;
  output_buffer out(written, block_writer::caller);
  memory_source spool_contents(spooled.text);
  update_counts counts = merge.write(out, spool_contents);
  out.finish();
  return {written.text, counts};
}

const std::string kCatalogue =
    "# My catalogue\n"
    "\n"
    "[1ceres]\r\n"
    "name=Ceres\r\n"
    "type=dwarf planet\r\n"
    "minor_planet_number=1\r\n"
    "radius=470\r\n"
    "albedo=0.09 # measured\r\n"
    "tex_map=ceres.png\r\n"
    "rot_periode=9.07\r\n"
    "orbit_Epoch=2455000.5\r\n"
    "orbit_SemiMajorAxis=2.76 # old\r\n"
    "orbit_Period=1680\r\n"
    "coord_func=kepler_orbit\r\n"
    "\r\n"
    "[433eros]\n"
    "name                = Eros\n"
    "minor_planet_number = 433\n"
    "type                = asteroid\n"
    "orbit_TimeAtPericenter = 2459000.5\n"
    "orbit_PericenterDistance = 1.13\n"
    "orbit_Eccentricity  = 0.22\n"
    "slope_parameter     = 0.46\n"
    "# a comment inside\n"
    "\n"
    "[c2019y4(atlas)]\n"
    "type=comet\n"
    "name=C/2019 Y4 (ATLAS)\n"
    "orbit_PericenterDistance=0.25\n"
    "\n"
    "[eros-again]\n"
    "minor_planet_number=0433\n"
    "[]\n"
    "orbit_MeanAnomaly=1\n"
    "just some words\n"
    "[2024yr4]\n"
    "name = 2024  yr4\n"
    "absolute_magnitude = \n"
    "type = asteroid";

const std::string kAstraea = record("6.99 ", " 11.00000", "      (5) Astraea");
const std::string kHebe = record("5.71 ", " 12.34567", "      (6) Hebe");

// kCatalogue as the update in the test below leaves it.
const std::string kCatalogueUpdated =
    "# My catalogue\n"
    "\n"
    "[1ceres]\r\n"
    "name=Ceres\r\n"
    "type=dwarf planet\r\n"
    "minor_planet_number=1\r\n"
    "radius=470\r\n"
    "albedo=0.09 # measured\r\n"
    "tex_map=ceres.png\r\n"
    "rot_periode=9.07\r\n"
    "orbit_Epoch=2460200.5\r\n"
    "orbit_SemiMajorAxis=2.7678915 # old\r\n"
    "coord_func=kepler_orbit\r\n"
    "orbit_MeanAnomaly=10.00000\r\n"
    "orbit_MeanMotion=0.21409163\r\n"
    "orbit_Eccentricity=0.0874361\r\n"
    "orbit_Inclination=12.95437\r\n"
    "orbit_AscendingNode=211.31012\r\n"
    "orbit_ArgOfPericenter=150.14563\r\n"
    "absolute_magnitude=3.34\r\n"
    "\r\n"
    "[433eros]\n"
    "name                = Eros\n"
    "minor_planet_number = 433\n"
    "type                = asteroid\n"
    "orbit_Eccentricity  = 0.0874361\n"
    "slope_parameter     = 0.15\n"
    "orbit_Epoch         = 2460200.5\n"
    "orbit_MeanAnomaly   = 20.00000\n"
    "orbit_MeanMotion    = 0.21409163\n"
    "orbit_SemiMajorAxis = 2.7678915\n"
    "orbit_Inclination   = 12.95437\n"
    "orbit_AscendingNode = 211.31012\n"
    "orbit_ArgOfPericenter = 150.14563\n"
    "absolute_magnitude  = 10.43\n"
    "# a comment inside\n"
    "\n"
    "[c2019y4(atlas)]\n"
    "type=comet\n"
    "name=C/2019 Y4 (ATLAS)\n"
    "orbit_PericenterDistance=0.25\n"
    "\n"
    "[eros-again]\n"
    "minor_planet_number=0433\n"
    "[]\n"
    "orbit_MeanAnomaly=20.00000\n"
    "orbit_Epoch=2460200.5\n"
    "orbit_MeanMotion=0.21409163\n"
    "orbit_SemiMajorAxis=2.7678915\n"
    "orbit_Eccentricity=0.0874361\n"
    "orbit_Inclination=12.95437\n"
    "orbit_AscendingNode=211.31012\n"
    "orbit_ArgOfPericenter=150.14563\n"
    "absolute_magnitude=10.43\n"
    "just some words\n"
    "[2024yr4]\n"
    "name = 2024  yr4\n"
    "absolute_magnitude = 23.1\n"
    "type = asteroid\n"
    "orbit_Epoch = 2460200.5\n"
    "orbit_MeanAnomaly = 30.00000\n"
    "orbit_MeanMotion = 0.21409163\n"
    "orbit_SemiMajorAxis = 2.7678915\n"
    "orbit_Eccentricity = 0.0874361\n"
    "orbit_Inclination = 12.95437\n"
    "orbit_AscendingNode = 211.31012\n"
    "orbit_ArgOfPericenter = 150.14563\n" +
    plain_section(kAstraea) + plain_section(kHebe) + plain_section(record("15.0 ", " 40.00000", "           2024 YR5"));

TEST(CatalogueUpdate, ChangesExactlyTheOrbitsOfTheBodiesItHolds) {
  std::string hebe_old = record("5.00 ", " 12.00000", "      (6) Hebe");
  result r = update(kCatalogue, {
                                    record("3.40 ", "  1.00000", "      (1) Ceres"),
                                    record("9.00 ", "  2.00000", "    (433) Eros"),
                                    hebe_old,
                                    record("3.34 ", " 10.00000", "      (1) Ceres"),
                                    record("10.43", " 20.00000", "    (433) Eros"),
                                    kAstraea,
                                    record("23.1 ", " 30.00000", "           2024 YR4"),
                                    kHebe,
                                    record("15.0 ", " 40.00000", "           2024 YR5"),
                                });
  EXPECT_EQ(r.text, kCatalogueUpdated);
  EXPECT_EQ(r.counts.updated, 4U);
  EXPECT_EQ(r.counts.added, 3U);
  EXPECT_EQ(r.counts.bodies, 8U);
  // Once updated, the same input changes nothing more.
  EXPECT_EQ(update(r.text, {kAstraea, kHebe}).text, r.text);
}

TEST(CatalogueUpdate, WithoutAMatchTheCatalogueStaysAndNewSectionsFollow) {
  std::string vesta = record("3.2  ", "  1.00000", "      (4) Vesta");
  std::string section = plain_section(vesta);
  struct {
    std::string existing, expected;
    std::uint64_t bodies;  // two sections of one name are one body
  } cases[] = {
      {"", section, 1},
      {"[x]\ntype=comet\n[X]\n[x]", "[x]\ntype=comet\n[X]\n[x]\n" + section, 3},
      // New sections end their lines as the catalogue does.
      {"[x]\r\ntype=comet\r\n", "[x]\r\ntype=comet\r\n" + crlf(section), 2},
      // Names that only look like a body's, and lines the planetarium ignores.
      {"[v]\nname=Vesta # not 4\nminor_planet_number = 44\n#[4vesta]\n\x01\xff\n",
       "[v]\nname=Vesta # not 4\nminor_planet_number = 44\n#[4vesta]\n\x01\xff\n" + section, 2},
  };
  for (const auto& c : cases) {
    result r = update(c.existing, {vesta});
    EXPECT_EQ(r.text, c.expected) << c.existing;
    EXPECT_EQ(r.counts.bodies, c.bodies) << c.existing;
    // A catalogue without line ends yet follows the platform's.
    if (c.existing.empty()) {
      EXPECT_EQ(update(c.existing, {vesta}, "\r\n").text, crlf(section));
    }
    EXPECT_EQ(r.counts.added, 1U);
    EXPECT_EQ(r.counts.updated, 0U);
  }
}

TEST(CatalogueUpdate, MatchesASectionOfTheNameANewSectionWouldTake) {
  // Appending a second [4vesta] would merge the two in the planetarium.
  std::string vesta = record("3.2  ", "  1.00000", "      (4) Vesta");
  result r = update("\xEF\xBB\xBF[4vesta]\ntype=dwarf planet\norbit_MeanAnomaly=9\n", {vesta});
  EXPECT_TRUE(r.text.starts_with("\xEF\xBB\xBF[4vesta]\ntype=dwarf planet\norbit_MeanAnomaly=1.00000\n")) << r.text;
  EXPECT_EQ(r.counts.updated, 1U);
  EXPECT_EQ(r.counts.added, 0U);
}

// Comet lines of the MPC's file (2021).
const std::string kEncke2020 =
    "0002P         2020 06 27.0592  0.334149  0.849348  186.6356  334.5140   11.8043  20211016  11.5  6.0  "
    "2P/Encke                                                 MPEC 2021-TD0";
const std::string kPonsBrooks2024 =
    "0012P         2024 04 20.7057  0.781835  0.954403  198.9937  255.7777   74.1378  20211016   5.0  6.0  "
    "12P/Pons-Brooks                                           27,  604";
const std::string kSchwassmannWachmann =
    "0073P         2022 08 25.6805  0.972792  0.685454  199.4771   69.6212   11.2280  20211016  11.5  6.0  "
    "73P/Schwassmann-Wachmann                                 MPC106348";
const std::string kSidingSpring =
    "    PK04V030  2023 11 22.4028  3.952523  0.446280  322.3872  356.1274   50.4427  20211016  11.5  4.0  "
    "P/2004 V3 (Siding Spring)                                MPC 55521";

std::string with(std::string line, std::size_t column, const std::string& text) {
  return line.replace(column - 1, text.size(), text);
}

const std::string kTk7 = record("20.8 ", " 30.00000", " (706765) 2010 TK7");
const std::string kCeres = record("3.34 ", " 34.00000", "      (1) Ceres");
// Numbered since it was designated in the extended form, _QC0000.
const std::string kCa620 = with(record("21.3 ", " 33.00000", " (698402) 2026 CA620"), 1, "~0KOY  ");
const std::string kLf64 = record("     ", " 31.00000", "           2010 LF64");
const std::string kEros = record("10.31", " 32.00000", "    (433) Eros");
const std::string kErosWithoutG = with(kEros, 15, "     ");
const std::string kEncke = comet_section_text(kEncke2020);
struct update_case {
  std::string name, existing;
  std::vector<std::string> lines;
  std::vector<std::string> expected;  // in this order in the result
  std::uint64_t updated, added;
  /// As --layout gives it; none: the catalogue's own.
  std::optional<section_layout> layout = section_layout::classic;
};

const update_case kUpdateCases[] = {
    {"numbered since",
     "[TK7_Trojan]\nname=2010 TK7\nalbedo=0.1\n",
     {kTk7},
     {"[TK7_Trojan]\nname=2010 TK7\nalbedo=0.1\norbit_Epoch=2460200.5\norbit_MeanAnomaly=30.00000\n",
      "absolute_magnitude=20.8\nminor_planet_number=706765\n"},
     1,
     0},
    {"numbered since, designated in the extended form",
     "[2026ca620]\nname = 2026 CA620\n",
     {kCa620},
     {"[2026ca620]\nname = 2026 CA620\norbit_Epoch = 2460200.5\norbit_MeanAnomaly = 33.00000\n",
      "minor_planet_number = 698402\n"},
     1,
     0},
    {"a comet designated in the extended form",
     "[p]\nname=P/2032 YT4130\n",
     {with(with(kSidingSpring, 1, "    P_WY0Mpc"), 103, "P/2032 YT4130 (PANSTARRS)")},
     {"[p]\nname=P/2032 YT4130\nabsolute_magnitude=11.5\n"},
     1,
     0},
    {"numbered since, but another body's number",
     "[x]\nname=2010 TK7\nminor_planet_number=7\n",
     {kTk7},
     {"[x]\nname=2010 TK7\nminor_planet_number=7\n[7067652010tk7]\n"},
     0,
     1},
    {"blank H",
     "[x]\nname=2010 LF64\nabsolute_magnitude = 21.5\nslope_parameter = 0.3\n",
     {kLf64},
     {"absolute_magnitude = 21.5\nslope_parameter = 0.3\norbit_Epoch=2460200.5\n"},
     1,
     0},
    {"G follows H",
     "[433eros]\nname=Eros\nslope_parameter=0.46\nabsolute_magnitude=11.16\n",
     {kEros},
     {"slope_parameter=0.15\nabsolute_magnitude=10.31\n"},
     1,
     0},
    {"blank G",
     "[433eros]\nname=Eros\nslope_parameter=0.46 # fit\nabsolute_magnitude=\n",
     {kErosWithoutG},
     {"[433eros]\nname=Eros\nabsolute_magnitude=10.31\norbit_Epoch"},
     1,
     0},
    {"empty value before a comment",
     "[433eros]\nname=Eros\nabsolute_magnitude = # unknown\n",
     {kEros},
     {"absolute_magnitude = 10.31 # unknown\n"},
     1,
     0},
    {"a comet the MPC respelled",
     "[ss]\nname=P/2004 V3 (SidingSpring)\nradius=2\n",
     {kSidingSpring},
     {"[ss]\nname=P/2004 V3 (SidingSpring)\nradius=2\nabsolute_magnitude=11.5\n",
      "orbit_TimeAtPericenter=2460270.9028\n"},
     1,
     0},
    {"fragments apart",
     "[ss]\nname=P/2004 V3-A (Siding Spring)\n",
     {kSidingSpring},
     {"[ss]\nname=P/2004 V3-A (Siding Spring)\n[p2004v3(sidingspring)]\n"},
     0,
     1},
    {"apparitions",
     "[12P]\nname=12P/Pons-Brooks (2024)\n[2P]\nname=2P/Encke (2023)\n[73P]\nname=73P/Schwassmann-Wachmann\n",
     {kPonsBrooks2024, kEncke2020, kSchwassmannWachmann},
     {"[12P]\nname=12P/Pons-Brooks (2024)\nabsolute_magnitude=5.0\norbit_ArgOfPericenter=198.9937\n",
      "[2P]\nname=2P/Encke (2023)\n[73P]\nname=73P/Schwassmann-Wachmann\nabsolute_magnitude=11.5\n",
      "orbit_ArgOfPericenter=199.4771\n", "slope_parameter=6.0\n" + kEncke},
     2,
     1},
    {"the section named for the apparition first",
     "[2pencke]\nname=2P/Encke\n[2P_2020]\nname=2P/Encke (2020)\norbit_TimeAtPericenter=2458000.0\n",
     {kEncke2020},
     {"[2pencke]\nname=2P/Encke\n[2P_2020]\nname=2P/Encke (2020)\norbit_TimeAtPericenter=2459027.5592\n"},
     1,
     0},
    {"a designation alone",
     "[P2004V3]\nname=P/2004 V3\n",
     {kSidingSpring},
     {"[P2004V3]\nname=P/2004 V3\nabsolute"},
     1,
     0},
    {"a minor planet's name in parentheses is no apparition",
     "[433eros]\nname=Eros (1898)\nalbedo=0.25\n",
     {kEros},
     {"[433eros]\nname=Eros (1898)\nalbedo=0.25\norbit_Epoch"},
     1,
     0},
    {"a name without the number",
     "[e]\nname=Eros\nminor_planet_number =\n",
     {kEros},
     {"[e]\nname=Eros\nminor_planet_number =433\n"},
     1,
     0},
    {"a slope that is no number",
     "[433eros]\nname=Eros\nslope_parameter=0.46\n",
     {with(kEros, 15, "0\r[a]")},
     {"[433eros]\nname=Eros\norbit_Epoch"},
     1,
     0},
    {"a catalogue without coord_func in most sections: its layout for new sections and designations",
     "[1ceres]\nname=Ceres\ncoord_func=kepler_orbit\n[2010lf64]\nname=2010 LF64\n[ss]\nname=P/2004 V3 (Siding "
     "Spring)\n",
     {kLf64, kSidingSpring, kEros},
     {"[2010lf64]\nname=2010 LF64\norbit_Epoch=", "orbit_ArgOfPericenter=150.14563\niau_designation=2010 LF64\n",
      "slope_parameter=4.0\niau_designation=P/2004 V3\n" + plain_section(kEros, section_layout::current)},
     2,
     1,
     std::nullopt},
    {"a catalogue with coord_func in half its sections: classic",
     "[1ceres]\nname=Ceres\ncoord_func=kepler_orbit\n[2010lf64]\nname=2010 LF64\n",
     {kLf64, kEros},
     {"[2010lf64]\nname=2010 LF64\n", "orbit_ArgOfPericenter=150.14563\n" + plain_section(kEros)},
     1,
     1,
     std::nullopt},
    {"a new catalogue: classic", "", {kEros}, {plain_section(kEros)}, 0, 1, std::nullopt},
    {"--layout current wins",
     "[1ceres]\nname=Ceres\ncoord_func=kepler_orbit\n[2010lf64]\nname=2010 LF64\ncoord_func=comet_orbit\n",
     {kLf64, kEros},
     {"coord_func=comet_orbit\norbit_Epoch=",
      "iau_designation=2010 LF64\n" + plain_section(kEros, section_layout::current)},
     1,
     1,
     section_layout::current},
    {"a section one body's name and another's section name",
     "[7067652010tk7]\nname=Ceres\nradius=470\n",
     {kCeres, kTk7},
     {"[7067652010tk7]\nname=Ceres\nradius=470\norbit_Epoch", "=34.00000\n",
      "minor_planet_number=1\n[7067652010tk7-2]\n", "= 30.00000\n"},
     1,
     1},
    {"... the other taking it first, and given again",
     "[7067652010tk7]\nname=Ceres\nradius=470\n",
     {kTk7, kCeres, kTk7},
     {"[7067652010tk7]\nname=Ceres\nradius=470\norbit_Epoch", "=34.00000\n",
      "minor_planet_number=1\n[7067652010tk7-2]\n", "= 30.00000\n"},
     1,
     1},
    {"another apparition under the same section name",
     "[2pencke]\nname=2P/Encke (2023)\n",
     {kEncke2020},
     {"[2pencke]\nname=2P/Encke (2023)\n[2pencke(2020)]\n" + kEncke.substr(kEncke.find('\n') + 1)},
     0,
     1},
};

// The same body under the names it went by, and the values an update must
// not lose. Every case, updated once more from the same input, stays as it is.
TEST(CatalogueUpdate, FindsEachBodyOnceAndKeepsWhatTheInputDoesNotKnow) {
  for (const update_case& c : kUpdateCases) {
    result r = update(c.existing, c.lines, "\n", c.layout);
    std::size_t at = 0;
    for (const std::string& part : c.expected) {
      at = r.text.find(part, at);
      EXPECT_NE(at, std::string::npos) << c.name << ": " << part << "\nin\n" << r.text;
    }
    EXPECT_EQ(r.counts.updated, c.updated) << c.name;
    EXPECT_EQ(r.counts.added, c.added) << c.name;
    EXPECT_EQ(update(r.text, c.lines, "\n", c.layout).text, r.text) << c.name;
  }
}

}  // namespace
}  // namespace quelvarn
