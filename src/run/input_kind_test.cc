// Recognition of each kind of input by its first record.
#include "run/input_kind.h"

#include <gtest/gtest.h>

#include <string>

namespace quelvarn {
namespace {

const std::string kEros =
    "00433   11.16  0.46 K1972  84.17190  178.83549  304.30424   10.82858  0.2227385  0.55973997   1.4581823  0 "
    "MPO467611  8406  52 1893-2019 0.69 M-v 38h MPCLINUX   1804    (433) Eros               20190509";
const std::string kHaleBopp =
    "    CJ95O010  1997 03 29.7452  0.896229  0.994962  130.4608  283.1052   89.1105  20211016  -2.0  4.0  "
    "C/1995 O1 (Hale-Bopp)                                    MPC106342";

std::string with(std::string line, std::size_t first, const std::string& text) {
  return line.replace(first - 1, text.size(), text);
}

TEST(InputKind, FirstRecordMustPassEveryColumnTestOfItsLayout) {
  struct {
    std::string line;
    input_kind kind;
  } cases[] = {
      {kEros, input_kind::minor_planets},
      {with(kEros, 1, "K19A00A"), input_kind::minor_planets},
      {with(kEros, 1, "~0000  "), input_kind::minor_planets},
      {with(kEros, 1, "a0001  "), input_kind::minor_planets},
      {with(kEros, 1, "PLS2040"), input_kind::minor_planets},
      {with(kEros, 1, "T1S3138"), input_kind::minor_planets},
      {with(kEros, 1, "_QC0000"), input_kind::minor_planets},  // the extended form: 2026 CA620
      {with(kEros, 1, "_AH9fZ7"), input_kind::minor_planets},
      {with(kEros, 1, "_QC0aE-"), input_kind::bad},
      {with(kEros, 1, "_QI0000"), input_kind::bad},
      {with(kEros, 1, "_9C0000"), input_kind::bad},
      {with(kEros, 1, "_QC000 "), input_kind::bad},
      {with(kEros, 1, "K26I00A"), input_kind::bad},
      {with(kEros, 9, "           "), input_kind::minor_planets},  // blank H and G
      {kEros.substr(0, 175), input_kind::minor_planets},
      {kEros.substr(0, 174), input_kind::bad},
      {with(kEros, 1, "0433   "), input_kind::bad},
      {with(kEros, 21, "Z1972"), input_kind::bad},
      {with(kEros, 27, "84,17190"), input_kind::bad},
      {with(kEros, 93, "           "), input_kind::bad},
      {with(kEros, 9, "11.16x"), input_kind::bad},
      {with(kEros, 166, std::string(29, ' ')), input_kind::bad},
      {kHaleBopp, input_kind::comets},
      {with(kHaleBopp, 5, "P_WY0Mpc"), input_kind::comets},
      {with(kHaleBopp, 5, "P_WY0Mp!"), input_kind::bad},
      {with(kHaleBopp, 82, "        "), input_kind::comets},
      {with(kHaleBopp, 20, "00"), input_kind::bad},
      {with(kHaleBopp, 31, "-0.896229"), input_kind::bad},
      {kHaleBopp.substr(0, 100), input_kind::bad},
      {"MINOR PLANET CENTER ORBIT DATABASE", input_kind::bad},
      {std::string(300, ' ') + "x", input_kind::bad},
      {std::string(200, 'x'), input_kind::bad},
      {kEros + std::string(70000, ' '), input_kind::bad},
      {"", input_kind::bad},
  };
  for (const auto& c : cases) EXPECT_EQ(kind_from_first_record(c.line), c.kind) << c.line.substr(0, 200);
  EXPECT_TRUE(is_title_line("xx MINOR PLANET CENTER ORBIT DATABASE (MPCORB) yy"));
  EXPECT_FALSE(is_title_line("minor planet center orbit database (mpcorb)"));
}

}  // namespace
}  // namespace quelvarn
