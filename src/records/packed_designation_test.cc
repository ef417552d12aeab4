// Packed designations of both forms, and their malformed look-alikes.
#include "records/packed_designation.h"

#include <gtest/gtest.h>

#include <string>

namespace quelvarn {
namespace {

std::string unpacked(std::string_view packed) {
  std::optional<provisional_designation> d = unpack_provisional(packed);
  return d ? d->readable() : "<none>";
}

// The MPC's own examples, then what only resembles them.
TEST(PackedDesignation, UnpacksBothFormsAndNothingElse) {
  struct {
    std::string_view packed, readable;
  } cases[] = {
      {"J95X00A", "1995 XA"},
      {"K07Tf8A", "2007 TA418"},
      {"K26Cz9Z", "2026 CZ619"},  // the last the usual form counts
      {"I01A00A", "1801 AA"},
      {"J95O010", "1995 O1"},     // a comet's order number
      {"K14Od2G", "2014 OG392"},  // a comet first designated as an asteroid
      {"K25K01b", "2025 K1-B"},   // a comet's fragment
      {"_QC0000", "2026 CA620"},  // the first the extended form counts
      {"_QC0aEM", "2026 CZ6190"},
      {"_QCzzzz", "2026 CL591673"},
      {"_AH9fZ7", "2010 HJ92809"},
      {"_WY0Mpc", "2032 YT4130"},
      {"_MPCmpc", "2022 PY122525"},
      {"_aA0000", "2036 AA620"},  // small year letters after 2035
      // Look-alikes: a byte outside base 62, a year that is no letter, a
      // half-month or second letter that does not exist, the wrong length.
      {"_QC000-", "<none>"},
      {"_QC00 0", "<none>"},
      {"_QC0~00", "<none>"},
      {"_5C0000", "<none>"},
      {"_#C0000", "<none>"},
      {"__C0000", "<none>"},
      {"_QI0000", "<none>"},
      {"_QZ0000", "<none>"},
      {"_Qc0000", "<none>"},
      {"_QC000", "<none>"},
      {"_QC00000", "<none>"},
      {"QC0000_", "<none>"},
      {" QC0000", "<none>"},
      {"K19I00A", "<none>"},
      {"K19A00I", "<none>"},
      {"K19A001", "<none>"},
      {"K19A0-A", "<none>"},
      {"M19A00A", "<none>"},
      {"k19A00A", "<none>"},
      {"K1xA00A", "<none>"},
      {"K19A00", "<none>"},
      {"", "<none>"},
  };
  for (const auto& c : cases) EXPECT_EQ(unpacked(c.packed), c.readable) << c.packed;
}

TEST(PackedDesignation, MinorPlanetColumns) {
  for (std::string_view good : {"00433  ", "K1234  ", "z9999  ", "~0000  ", "~zzzz  ", "K19A00A", "_QC0000", "_AH9fZ7",
                                "PLS2040", "T1S3138", "T3S0001"})
    EXPECT_TRUE(is_packed_minor_planet(good)) << good;
  for (std::string_view bad : {"0433   ", "~000-  ", "~QC0000", "K1234 A", "_QC0000 ", "_QC000 ", "K25K01b", "PLS204A",
                               "T4S3138", "       ", ""})
    EXPECT_FALSE(is_packed_minor_planet(bad)) << bad;
}

}  // namespace
}  // namespace quelvarn
