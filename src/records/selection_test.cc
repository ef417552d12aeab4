// Each selection option, alone and together.
#include "records/selection.h"

#include <gtest/gtest.h>

#include <string>

#include "common/text.h"
#include "records/mpcorb_record.h"

namespace quelvarn {
namespace {

// A record line of the published layout with the given H, flags and
// designation columns (166 onwards).
std::string record(const std::string& h, const std::string& flags, const std::string& designation) {
  std::string line = "00433   " + h +
                     "  0.15 K239D  33.20145  150.14563  211.31012   12.95437  0.0874361  0.21409163   2.7678915  0 "
                     "MPO600000  2000  50 1900-2020 0.50 M-v 30h MPCLINUX   ";
  line.resize(161, ' ');
  line += flags + " " + designation;
  line.resize(202, ' ');
  return line;
}

TEST(Identity, ReadsNumberDesignationNameMagnitudeAndFlags) {
  std::string line = record("10.43", "2803", "   (433) Eros");
  body_identity id = minor_planet_identity(line);
  EXPECT_EQ(id.number, "433");
  EXPECT_EQ(id.designation, "(433) Eros");
  EXPECT_EQ(id.name, "Eros");
  EXPECT_EQ(id.magnitude, "10.43");
  EXPECT_EQ(id.flags, "2803");
  EXPECT_EQ(minor_planet_identity(record("     ", "0000", "          2024 YR4")).number, "");
  // Numbered since it was designated in the extended form (_QC0000).
  std::string numbered_since = "~0KOY  " + record("21.3 ", "0000", "(698402) 2026 CA620").substr(7);
  id = minor_planet_identity(numbered_since);
  EXPECT_EQ(id.number, "698402");
  EXPECT_EQ(id.name, "2026 CA620");
}

TEST(Selection, EachOptionAndTheirCombination) {
  selection_criteria bright;
  bright.max_magnitude = 12;
  selection_criteria numbered;
  numbered.numbered = true;
  selection_criteria neo_or_trojan;
  ASSERT_FALSE(add_orbit_classes("neo, Trojan", neo_or_trojan.classes));
  selection_criteria mars_crossers;
  ASSERT_FALSE(add_orbit_classes("mars-crosser", mars_crossers.classes));
  selection_criteria tno_pha;
  ASSERT_FALSE(add_orbit_classes("tno", tno_pha.classes));
  ASSERT_FALSE(add_orbit_classes("pha", tno_pha.classes));
  selection_criteria bright_numbered_neo = bright;
  bright_numbered_neo.numbered = true;
  bright_numbered_neo.classes = neo_or_trojan.classes;

  struct {
    const char* what;
    const selection_criteria& criteria;
    std::string h, flags, designation;
    bool passes;
  } cases[] = {
      {"H at the limit", bright, "12.00", "0000", "(5) Astraea", true},
      {"H just above", bright, "12.01", "0000", "(5) Astraea", false},
      {"negative H", bright, "-1.2 ", "0000", "(5) Astraea", true},
      {"blank H", bright, "     ", "0000", "(5) Astraea", false},
      {"unreadable H", bright, " 1x2 ", "0000", "(5) Astraea", false},
      {"numbered", numbered, "15.0 ", "0000", "    (5) Astraea", true},
      {"unnumbered", numbered, "15.0 ", "0000", "          2024 YR4", false},
      {"NEO bit", neo_or_trojan, "15.0 ", "0803", "x", true},
      {"Jupiter Trojan type 9", neo_or_trojan, "15.0 ", "0009", "x", true},
      {"Hilda is neither", neo_or_trojan, "15.0 ", "0008", "x", false},
      {"type 9 with higher bits", neo_or_trojan, "15.0 ", "4009", "x", true},
      {"type 25 is not 9", neo_or_trojan, "15.0 ", "0019", "x", false},
      {"blank flags", neo_or_trojan, "15.0 ", "    ", "x", false},
      {"flags not hexadecimal", neo_or_trojan, "15.0 ", "08G3", "x", false},
      {"flags in small letters", neo_or_trojan, "15.0 ", "080a", "x", true},
      {"q < 1.381", mars_crossers, "15.0 ", "0005", "x", true},
      {"q < 1.665", mars_crossers, "15.0 ", "0007", "x", true},
      {"Amor is not", mars_crossers, "15.0 ", "0004", "x", false},
      {"cubewano is a TNO", tno_pha, "5.0  ", "0010", "x", true},
      {"scattered disk", tno_pha, "5.0  ", "0011", "x", true},
      {"centaur is not", tno_pha, "5.0  ", "000A", "x", false},
      {"PHA bit", tno_pha, "5.0  ", "8803", "x", true},
      {"all three kinds", bright_numbered_neo, "11.5 ", "0803", "(4) V", true},
      {"one kind fails", bright_numbered_neo, "11.5 ", "0803", "          2024 AB", false},
  };
  for (const auto& c : cases) {
    selection s(c.criteria);
    EXPECT_EQ(s.passes(minor_planet_identity(record(c.h, c.flags, c.designation))), c.passes) << c.what;
  }
}

TEST(Selection, BodiesByNumberDesignationOrNameAndThoseNotFound) {
  selection_criteria criteria;
  criteria.bodies = {"433", "2024  yr4", " EROS ", "Ceres", "2024 YR9", "(433) eros"};
  selection s(criteria);
  EXPECT_TRUE(s.passes(minor_planet_identity(record("10.4 ", "0000", "   (433) Eros"))));
  EXPECT_TRUE(s.passes(minor_planet_identity(record("20.0 ", "0000", "          2024 YR4"))));
  EXPECT_FALSE(s.passes(minor_planet_identity(record("20.0 ", "0000", "          2024 YR5"))));
  EXPECT_FALSE(s.passes(minor_planet_identity(record("20.0 ", "0000", "   (4330) Erosa"))));
  EXPECT_EQ(s.not_found(), (std::vector<std::string>{"Ceres", "2024 YR9"}));
  // Found even when another option leaves the body out.
  criteria.max_magnitude = 5;
  selection bright(criteria);
  EXPECT_FALSE(bright.passes(minor_planet_identity(record("10.4 ", "0000", "   (433) Eros"))));
  EXPECT_EQ(bright.not_found(), (std::vector<std::string>{"2024  yr4", "Ceres", "2024 YR9"}));
}

TEST(Selection, LimitCountsTakenBodies) {
  selection_criteria criteria;
  criteria.limit = 2;
  selection s(criteria);
  EXPECT_TRUE(s.take());
  EXPECT_TRUE(s.take());
  EXPECT_FALSE(s.take());
  EXPECT_EQ(s.taken(), 2U);
  criteria.limit = 0;
  EXPECT_FALSE(selection(criteria).take());
}

TEST(Selection, ClassNamesAndNumbers) {
  orbit_classes classes;
  EXPECT_EQ(add_orbit_classes("apollo,bogus", classes), "bogus");
  EXPECT_TRUE(classes.empty());
  EXPECT_EQ(add_orbit_classes("", classes), "");
  EXPECT_NE(orbit_class_names().find("atira, aten, apollo"), std::string::npos);
  EXPECT_EQ(normalized_id("  2024\t YR4 "), "2024 yr4");
  for (const char* good : {"12", "12.5", "-0.5", ".5", "1e1"}) {
    EXPECT_TRUE(decimal_number(good, number_form::c_locale)) << good;
  }
  for (const char* bad : {"", "abc", "12abc", "+1", "nan", "inf", "1,5"}) {
    EXPECT_FALSE(decimal_number(bad, number_form::c_locale)) << bad;
  }
}

}  // namespace
}  // namespace quelvarn
