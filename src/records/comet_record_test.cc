// Comet lines to sections, their checks and their identity.
#include "records/comet_record.h"

#include <gtest/gtest.h>

#include <string>

namespace quelvarn {
namespace {

// Genuine lines of the MPC's comet file.
const std::string kHaleBopp =
    "    CJ95O010  1997 03 29.7452  0.896229  0.994962  130.4608  283.1052   89.1105  20211016  -2.0  4.0  "
    "C/1995 O1 (Hale-Bopp)                                    MPC106342";
const std::string kHerschelRigollet =
    "0035P         2092 01  6.548   0.74383   0.97395    28.964   356.686    65.200   20211016   9.0  4.0  "
    "35P/Herschel-Rigollet                                     15,  452";
const std::string kFragment =
    "0332P      b  2016 03 17.1650  1.572891  0.489707  152.3711    3.8028    9.3805            19.0  4.0  "
    "332P-B/Ikeya-Murakami                                    MPEC 2016-EI8";

std::string convert(const std::string& line) { return comet_section_text(line); }

// The line with columns from first (1-based) replaced by text.
std::string with(std::string line, std::size_t first, const std::string& text) {
  return line.replace(first - 1, text.size(), text);
}

TEST(Comet2Section, WritesTheWholeSectionInOrder) {
  EXPECT_EQ(convert(kHaleBopp),
            "[c1995o1(halebopp)]\n"
            "absolute_magnitude             = -2.0\n"
            "coord_func                     = comet_orbit\n"
            "name                           = C/1995 O1 (Hale-Bopp)\n"
            "orbit_ArgOfPericenter          = 130.4608\n"
            "orbit_AscendingNode            = 283.1052\n"
            "orbit_Eccentricity             = 0.994962\n"
            "orbit_Epoch                    = 2459503.5\n"
            "orbit_Inclination              = 89.1105\n"
            "orbit_PericenterDistance       = 0.896229\n"
            "orbit_TimeAtPericenter         = 2450537.2452\n"
            "slope_parameter                = 4.0\n"
            "type                           = comet\n"
            "\n");
  // Fewer decimals stay fewer; a blank epoch, H or slope leaves its key out,
  // as the planetarium would ignore an empty value anyway.
  std::string s = convert(kHerschelRigollet);
  EXPECT_NE(s.find("\norbit_TimeAtPericenter         = 2485153.048\n"), std::string::npos) << s;
  EXPECT_NE(s.find("\norbit_PericenterDistance       = 0.74383\n"), std::string::npos) << s;
  s = convert(with(with(kFragment, 92, "    "), 97, "    "));
  EXPECT_EQ(s.substr(0, 21), "[332pbikeyamurakami]\n");
  for (const char* absent : {"orbit_Epoch", "absolute_magnitude", "slope_parameter"})
    EXPECT_EQ(s.find(absent), std::string::npos) << absent;
}

TEST(Comet2Section, TypeFromTheOrbitTypeAndEccentricity) {
  struct {
    char orbit_type;
    const char* eccentricity;
    const char* type;
  } cases[] = {{'C', "0.994962", "comet"},
               {'P', "0.994962", "comet"},
               {'D', "0.994962", "comet"},
               {'X', "0.994962", "comet"},
               {'I', "1.199252", "interstellar object"},
               {'A', "0.994962", "asteroid"},
               {'A', "1.000000", "comet"},
               {'A', "1.002012", "comet"}};
  for (const auto& c : cases) {
    std::string line = with(with(kHaleBopp, 5, std::string(1, c.orbit_type)), 42, c.eccentricity);
    ASSERT_EQ(comet_line_problem(line), "") << line;
    EXPECT_NE(convert(line).find(std::string("\ntype                           = ") + c.type + "\n"), std::string::npos)
        << c.orbit_type << c.eccentricity;
  }
}

TEST(CometLineProblem, RejectsWhatThePlanetariumCouldNotLoad) {
  struct {
    std::string line;
    std::string_view problem;
  } cases[] = {
      {kHaleBopp, ""},
      {kHerschelRigollet, ""},
      {kFragment, ""},
      {kHaleBopp.substr(0, 103), ""},
      {kHaleBopp.substr(0, 102), "too short"},
      {with(kHaleBopp, 5, "Q"), "bad designation"},
      {with(kHaleBopp, 1, "12 P"), "bad designation"},
      {with(kHaleBopp, 6, "j95O010"), "bad designation"},
      {with(kHaleBopp, 5, "P_WY0Mpc"), ""},  // the extended form: P/2032 YT4130
      {with(kHaleBopp, 5, "C_MPCmpc"), ""},
      {with(kHaleBopp, 5, "P_WY0Mp "), "bad designation"},
      {with(kHaleBopp, 5, "P_WI0Mpc"), "bad designation"},
      {with(kHaleBopp, 5, "P_%Y0Mpc"), "bad designation"},
      {with(kHaleBopp, 6, "       "), "bad designation"},  // no number, no designation
      {with(kFragment, 1, "0000"), "bad designation"},
      {with(kHaleBopp, 103, std::string(56, ' ')), "bad designation"},
      {with(kHaleBopp, 103, "/#[] -                "), "bad designation"},
      {with(kHaleBopp, 103, "Sun                   "), "bad designation"},
      {with(kHaleBopp, 103, "C/1995 O1 (Hale\tBopp)"), "bad designation"},
      {with(kHaleBopp, 103, "C/1995 O1 #1          "), "bad designation"},
      {with(kHaleBopp, 15, "????"), "bad elements"},
      {with(kHaleBopp, 20, "13"), "bad elements"},
      {with(kHaleBopp, 20, "02 30"), "bad elements"},
      {with(kHaleBopp, 15, "1582 10 10"), "bad elements"},  // dropped by the calendar reform
      {with(kHaleBopp, 15, "1500 02 29"), ""},              // a Julian leap day
      {with(kHaleBopp, 23, "29.74 2"), "bad elements"},
      {with(kHaleBopp, 31, " 0.000000"), "bad elements"},
      {with(kHaleBopp, 31, "-0.896229"), "bad elements"},
      {with(kHaleBopp, 42, "-0.99496"), "bad elements"},
      {with(kHaleBopp, 42, "0.99x962"), "bad elements"},
      {with(kHaleBopp, 72, "        "), "bad elements"},
      {with(kHaleBopp, 82, "20210230"), "bad elements"},
      {with(kHaleBopp, 82, "2021    "), "bad elements"},
      {with(kHaleBopp, 92, " n/a"), "bad elements"},
      {with(kHaleBopp, 40, "x"), "bad elements"},
  };
  for (const auto& c : cases) EXPECT_EQ(comet_line_problem(c.line), c.problem) << c.line;
}

TEST(IdentifyComet, DesignationsNameAndMagnitude) {
  comet_identity id = identify_comet(kHaleBopp);
  EXPECT_EQ(id.periodic, "");
  EXPECT_EQ(id.provisional, "C/1995 O1");
  EXPECT_EQ(id.name, "C/1995 O1 (Hale-Bopp)");
  EXPECT_EQ(id.magnitude, "-2.0");
  id = identify_comet(kFragment);
  EXPECT_EQ(id.periodic, "332P-B");
  EXPECT_EQ(id.provisional, "");
  EXPECT_EQ(identify_comet(kHerschelRigollet).periodic, "35P");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 1, "    PJ99XC0N")).provisional, "P/1999 XN120");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 1, "    PK10W00K")).provisional, "P/2010 WK");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 1, "    PK13R03a")).provisional, "P/2013 R3-A");
  // Fragments of two letters, and order numbers whose tens are a small letter.
  std::string two_letters = with(kFragment, 1, "0073P     bt");
  EXPECT_EQ(comet_line_problem(two_letters), "");
  EXPECT_EQ(identify_comet(two_letters).periodic, "73P-BT");
  EXPECT_EQ(comet_line_problem(with(kFragment, 1, "0073P     b ")), "bad designation");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 1, "    CK14Od2G")).provisional, "C/2014 OG392");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 1, "    P_WY0Mpc")).provisional, "P/2032 YT4130");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 1, "    C_MPCmpc")).provisional, "C/2022 PY122525");
  EXPECT_EQ(identify_comet(with(kHaleBopp, 92, "    ")).magnitude, "");
}

}  // namespace
}  // namespace quelvarn
