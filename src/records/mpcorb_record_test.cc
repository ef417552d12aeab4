// MPCORB record lines to sections, field by field.
#include "records/mpcorb_record.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "records/comet_record.h"
#include "records/packed_epoch.h"

namespace quelvarn {
namespace {

// A record line of the published layout with the given designation columns
// (166 onwards) and epoch.
std::string record(const std::string& designation, const std::string& epoch = "K239D") {
  std::string line =
      "00047    6.85  0.15 " + epoch +
      "  33.20145  150.14563  211.31012   12.95437  0.0874361  0.21409163   2.7678915  0 MPO600000  2000  50 "
      "1900-2020 0.50 M-v 30h MPCLINUX   0000";
  line.resize(165, ' ');
  return line + designation;
}

std::string convert(const std::string& line, section_layout layout = section_layout::classic) {
  char section[kMaxSectionSize];
  return {section, record2section(line, section, layout)};
}

// The first line of the section and the value of one key.
std::string header_of(const std::string& section) { return section.substr(0, section.find('\n')); }
std::string value_of(const std::string& section, const std::string& key) {
  std::size_t at = section.find("\n" + key + " ");
  if (at == std::string::npos) return "<absent>";
  std::size_t start = section.find("= ", at) + 2;
  return section.substr(start, section.find('\n', start) - start);
}

TEST(Trim, RemovesBlanksTabsAndLineEndsAtBothEndsOnly) {
  EXPECT_EQ(trim("  a b\t"), "a b");
  EXPECT_EQ(trim("\r\n\t x \n"), "x");
  EXPECT_EQ(trim(" \t\r\n "), "");
  EXPECT_EQ(trim(""), "");
  EXPECT_EQ(trim("\va\f"), "\va\f");
}

TEST(Record2Section, WritesTheWholeSectionInOrder) {
  EXPECT_EQ(convert(record("     (47) Xyla")),
            "[47xyla]\n"
            "absolute_magnitude             = 6.85\n"
            "coord_func                     = comet_orbit\n"
            "minor_planet_number            = 47\n"
            "name                           = Xyla\n"
            "orbit_ArgOfPericenter          = 150.14563\n"
            "orbit_AscendingNode            = 211.31012\n"
            "orbit_Eccentricity             = 0.0874361\n"
            "orbit_Epoch                    = 2460200.5\n"
            "orbit_Inclination              = 12.95437\n"
            "orbit_MeanAnomaly              = 33.20145\n"
            "orbit_MeanMotion               = 0.21409163\n"
            "orbit_SemiMajorAxis            = 2.7678915\n"
            "type                           = asteroid\n"
            "\n");
}

TEST(Record2Section, SectionNameAndNumberFromTheDesignation) {
  std::string s = convert(record("   (4711) Xyla de Mor"));
  EXPECT_EQ(header_of(s), "[4711xylade mor]");  // only two blanks go
  EXPECT_EQ(value_of(s, "name"), "Xyla de Mor");

  // Column 194 belongs to the name but not to the section name.
  s = convert(record("      (5) Abcdefghijklmnopqrs"));
  EXPECT_EQ(header_of(s), "[5abcdefghijklmnopqr]");
  EXPECT_EQ(value_of(s, "name"), "Abcdefghijklmnopqrs");

  s = convert(record("  2005 CG81-Ab c"));
  EXPECT_EQ(header_of(s), "[2005cg81-abc]");
  EXPECT_EQ(value_of(s, "minor_planet_number"), "2005 CG");  // columns 166-174 only

  // Columns 1-7 take no part: a body of the extended packed form is written
  // as one of the usual form.
  s = convert("_QC0000" + record("          2026 CA620").substr(7));
  EXPECT_EQ(header_of(s), "[2026ca620]");
  EXPECT_EQ(value_of(s, "name"), "2026 CA620");
  EXPECT_EQ(s, convert(record("          2026 CA620")));

  s = convert(record("   ()   ", "K0011"));
  EXPECT_EQ(header_of(s), "[]");
  EXPECT_EQ(value_of(s, "minor_planet_number"), "<absent>");
  EXPECT_EQ(value_of(s, "name"), "");
}

// Names the planetarium would merge, split or truncate, and bytes that would
// damage the file or the terminal.
// writable_record2section() must agree, writing the whole section or nothing.
bool writable_both_ways(const std::string& line) {
  bool writable = designation_writable(line);
  char section[kMaxSectionSize];
  char* end = writable_record2section(line, section);
  EXPECT_EQ(end != nullptr, writable) << line;
  if (end != nullptr) {
    EXPECT_EQ(std::string(section, end), convert(line)) << line;
  }
  return writable;
}

TEST(DesignationWritable, RefusesNamesThePlanetariumCannotTake) {
  for (const char* good :
       {"     (47) Xyla", "  2005 CG81-Ab c", "  (4711) Xyla de Mor", " (5) Éos", "  Sunny", "\t (47) Xyla\r"})
    EXPECT_TRUE(writable_both_ways(record(good))) << good;
  for (const std::string& bad :
       std::vector<std::string>{"", "   ()   ", "  (   )", "    (1) Ce]res=x#y;z,w", "  [1] Ceres", "  2019 A/B",
                                "    (9) Hash #1", std::string("   (9) Nul\0l", 12), "    (3) \x1b[2J",
                                "    (7) Tab\there", "(100) Del\x7f", "       Sun", "    ( ) Moon", "  EARTH"})
    EXPECT_FALSE(writable_both_ways(record(bad))) << bad;
  // Column 194 is in the name only: a "#" there still cuts the name short.
  EXPECT_FALSE(writable_both_ways(record("      (5) Abcdefghijklmnopqr#")));
  // Nor is a record with an epoch that names no date written.
  char section[kMaxSectionSize];
  EXPECT_EQ(writable_record2section(record("     (47) Xyla", "K242U"), section), nullptr);
}

TEST(Record2Section, CopiesBlankAndShortFieldsAsEmpty) {
  std::string line = record("     (47) Xyla");
  line.replace(8, 5, "     ");
  EXPECT_NE(convert(line).find("\nabsolute_magnitude             = \n"), std::string::npos);

  // A line ending inside the designation gives what there is, and any line
  // at all, even one that ends before the epoch, must not be read past.
  EXPECT_EQ(header_of(convert(line.substr(0, 172))), "[4]");
  EXPECT_EQ(value_of(convert(line.substr(0, 175)), "name"), "");
  EXPECT_NE(convert("K2").find("orbit_Epoch"), std::string::npos);
  EXPECT_EQ(header_of(convert("")), "[]");  // found by fuzzing: memcpy from a null view
  EXPECT_LE(convert(std::string(300, '(')).size(), kMaxSectionSize);

  // Missing columns read as blanks, whether the line is read in place or
  // copied first because it ends early.
  std::string full = record("     (47) Xyla de Mor");
  for (std::size_t size = 0; size <= full.size(); ++size) {
    std::string cut = full.substr(0, size);
    EXPECT_EQ(convert(cut), convert(cut + std::string(40, ' '))) << size;
  }

  // Fields lose blanks, tabs, CRs and LFs at their ends as trim() drops
  // them, and keep every other byte.
  line.replace(26, 9, "\t33.2\r\v\n ");
  EXPECT_EQ(value_of(convert(line), "orbit_MeanAnomaly"), "33.2\r\v");
}

// A comet line of the MPC's file with columns 1-12 and the name as given.
std::string comet(const std::string& designation, const std::string& name) {
  std::string line =
      "    CJ95O010  1997 03 29.7452  0.896229  0.994962  130.4608  283.1052   89.1105  20211016  -2.0  4.0  ";
  line.replace(0, designation.size(), designation);
  return line + name;
}

// The current layout: no coord_func, an iau_designation for every body but
// a numbered minor planet or periodic comet, and the MPC's G. Everything
// else as in the classic layout, through the same writer.
TEST(SectionLayouts, CurrentAsThePlanetariumsNewerReleasesWriteIt) {
  EXPECT_EQ(convert(record("     (47) Xyla"), section_layout::current),
            "[47xyla]\n"
            "absolute_magnitude             = 6.85\n"
            "minor_planet_number            = 47\n"
            "name                           = Xyla\n"
            "orbit_ArgOfPericenter          = 150.14563\n"
            "orbit_AscendingNode            = 211.31012\n"
            "orbit_Eccentricity             = 0.0874361\n"
            "orbit_Epoch                    = 2460200.5\n"
            "orbit_Inclination              = 12.95437\n"
            "orbit_MeanAnomaly              = 33.20145\n"
            "orbit_MeanMotion               = 0.21409163\n"
            "orbit_SemiMajorAxis            = 2.7678915\n"
            "slope_parameter                = 0.15\n"
            "type                           = asteroid\n"
            "\n");
  std::string blank_g = record("           2019 AA");
  blank_g.replace(14, 5, "     ");
  struct {
    std::string line;
    std::string designation, slope;  // "<absent>" for none
  } cases[] = {
      {record("     (47) Xyla"), "<absent>", "0.15"},
      {"J95X00A" + record("          1995 XA").substr(7), "1995 XA", "0.15"},
      {"_QC0000" + record("          2026 CA620").substr(7), "2026 CA620", "0.15"},
      {blank_g, "2019 AA", "<absent>"},
      {comet("    CJ95O010", "C/1995 O1 (Hale-Bopp)"), "C/1995 O1", "4.0"},
      {comet("    PK22W010", "P/2022 W1"), "P/2022 W1", "4.0"},
      {comet("    PK13R03a", "P/2013 R3-A (Catalina-PANSTARRS)"), "P/2013 R3-A", "4.0"},
      {comet("    DJ93F02a", "D/1993 F2-A (Shoemaker-Levy 9)"), "D/1993 F2-A", "4.0"},
      {comet("    XB06C010", "X/1106 C1"), "X/1106 C1", "4.0"},
      {comet("    AK26E010", "A/2026 E1"), "A/2026 E1", "4.0"},
      {comet("    CJ95O010", "Hale-Bopp"), "C/1995 O1", "4.0"},  // a name without its designation
      {comet("0001I       ", "1I/`Oumuamua"), "1I", "4.0"},
      {comet("0001IK17U010", "1I/`Oumuamua"), "1I/2017 U1", "4.0"},
      {comet("0012P       ", "12P/Pons-Brooks"), "<absent>", "4.0"},
      {comet("0332P      b", "332P-B/Ikeya-Murakami"), "<absent>", "4.0"},
  };
  for (const auto& c : cases) {
    bool is_comet = c.line.size() < kShortestRecord;
    if (is_comet) {
      ASSERT_EQ(comet_line_problem(c.line), "") << c.line;
    }
    auto write = [&](section_layout layout) {
      return is_comet ? comet_section_text(c.line, layout) : convert(c.line, layout);
    };
    std::string classic = write(section_layout::classic);
    std::string current = write(section_layout::current);
    EXPECT_EQ(value_of(classic, "coord_func"), "comet_orbit") << c.line;
    EXPECT_EQ(value_of(classic, "iau_designation"), "<absent>") << c.line;
    EXPECT_EQ(value_of(current, "coord_func"), "<absent>") << c.line;
    EXPECT_EQ(value_of(current, "iau_designation"), c.designation) << c.line;
    EXPECT_EQ(value_of(current, "slope_parameter"), c.slope) << c.line;
    // The new keys in their place, and nothing else changed.
    std::string expected = classic;
    expected.erase(expected.find("coord_func"), 45);
    if (c.designation != "<absent>") {
      expected.insert(expected.find("\nname ") + 1, "iau_designation                = " + c.designation + "\n");
    }
    if (!is_comet && c.slope != "<absent>") {
      expected.insert(expected.find("type "), "slope_parameter                = " + c.slope + "\n");
    }
    EXPECT_EQ(current, expected);
  }
}

TEST(FormatJulianDay, MatchesPrintfGeneralNotation) {
  char expected[64];
  char got[64];
  for (const char* letter : {"I", "J", "K"}) {
    for (int year = -9; year < 100; ++year) {
      for (char month : std::string("123456789ABCV")) {
        char epoch[16];
        std::snprintf(epoch, sizeof epoch, "%s%02d%cV", letter, year, month);
        double day = jd(epoch);
        std::snprintf(expected, sizeof expected, "%.10g", day);
        *format_julian_day(day, got) = '\0';
        ASSERT_STREQ(got, expected) << epoch;
      }
    }
  }
  for (double other : {0.0, -1.5, 1e9 + 0.5, 2451544.25, 1e-7, 123456789012.0}) {
    std::snprintf(expected, sizeof expected, "%.10g", other);
    *format_julian_day(other, got) = '\0';
    EXPECT_STREQ(got, expected);
  }
}

}  // namespace
}  // namespace quelvarn
