#include "catalogue_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "section_writer.h"

namespace quelvarn {
namespace {

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

std::string plain_section(const std::string& line) {
  char text[kMaxSectionSize];
  return {text, record2section(line, text)};
}

struct result {
  std::string text;
  update_counts counts;
};

result update(const std::string& existing, const std::vector<std::string>& lines) {
  string_sink spooled;
  output_buffer spool(spooled, block_writer::caller);
  catalogue_update merge(existing, spool);
  for (const std::string& line : lines) {
    merge.add(minor_planet_identity(line), plain_section(line), minor_planet_update_keys());
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

TEST(CatalogueUpdate, ChangesExactlyTheOrbitsOfTheBodiesItHolds) {
  std::string astraea = record("6.99 ", " 11.00000", "      (5) Astraea");
  std::string hebe_old = record("5.00 ", " 12.00000", "      (6) Hebe");
  std::string hebe = record("5.71 ", " 12.34567", "      (6) Hebe");
  result r = update(kCatalogue, {
                                    record("3.40 ", "  1.00000", "      (1) Ceres"),
                                    record("9.00 ", "  2.00000", "    (433) Eros"),
                                    hebe_old,
                                    record("3.34 ", " 10.00000", "      (1) Ceres"),
                                    record("10.43", " 20.00000", "    (433) Eros"),
                                    astraea,
                                    record("23.1 ", " 30.00000", "           2024 YR4"),
                                    hebe,
                                    record("15.0 ", " 40.00000", "           2024 YR5"),
                                });
  std::string expected =
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
      "slope_parameter     = 0.46\n"
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
      "absolute_magnitude = \n"
      "type = asteroid\n"
      "orbit_Epoch = 2460200.5\n"
      "orbit_MeanAnomaly = 30.00000\n"
      "orbit_MeanMotion = 0.21409163\n"
      "orbit_SemiMajorAxis = 2.7678915\n"
      "orbit_Eccentricity = 0.0874361\n"
      "orbit_Inclination = 12.95437\n"
      "orbit_AscendingNode = 211.31012\n"
      "orbit_ArgOfPericenter = 150.14563\n"
      "absolute_magnitude = 23.1\n" +
      plain_section(astraea) + plain_section(hebe) + plain_section(record("15.0 ", " 40.00000", "           2024 YR5"));
  EXPECT_EQ(r.text, expected);
  EXPECT_EQ(r.counts.updated, 4U);
  EXPECT_EQ(r.counts.added, 3U);
}

TEST(CatalogueUpdate, WithoutAMatchTheCatalogueStaysAndNewSectionsFollow) {
  std::string vesta = record("3.2  ", "  1.00000", "      (4) Vesta");
  std::string section = plain_section(vesta);
  struct {
    std::string existing, expected;
  } cases[] = {
      {"", section},
      {"[x]\ntype=comet", "[x]\ntype=comet\n" + section},
      {"[x]\r\ntype=comet\r\n", "[x]\r\ntype=comet\r\n" + section},
      // Names that only look like a body's, and lines the planetarium ignores.
      {"[v]\nname=Vesta # not 4\nminor_planet_number = 44\n#[4vesta]\n\x01\xff\n",
       "[v]\nname=Vesta # not 4\nminor_planet_number = 44\n#[4vesta]\n\x01\xff\n" + section},
  };
  for (const auto& c : cases) {
    result r = update(c.existing, {vesta});
    EXPECT_EQ(r.text, c.expected) << c.existing;
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

}  // namespace
}  // namespace quelvarn
