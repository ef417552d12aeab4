// Packed epochs: codes, known dates, every day once.
#include "records/packed_epoch.h"

#include <gtest/gtest.h>

#include <string>

namespace quelvarn {
namespace {

TEST(Char2Int, DecodesTheMonthAndDayCodes) {
  EXPECT_EQ(char2int("1"), 1);
  EXPECT_EQ(char2int("9"), 9);
  EXPECT_EQ(char2int("A"), 10);
  EXPECT_EQ(char2int("K"), 20);
  EXPECT_EQ(char2int("V"), 31);
  for (const char* other : {"0", "W", "a", "v", "", "12", " "}) EXPECT_EQ(char2int(other), 1) << other;
}

TEST(Jd, KnownDates) {
  EXPECT_EQ(jd("K239D"), 2460200.5);  // 2023-09-13
  EXPECT_EQ(jd("K0011"), 2451544.5);  // 2000-01-01
  EXPECT_EQ(jd("K2421"), 2460341.5);  // 2024-02-01 ...
  EXPECT_EQ(jd("K2431"), 2460370.5);  // ... and 29 days later, 2024-03-01
  EXPECT_EQ(jd("K24AV"), 2460614.5);  // 2024-10-31
  EXPECT_EQ(jd("K2310"), jd("K2311"));
  EXPECT_EQ(jd("K2310"), 2459945.5);
  EXPECT_EQ(jd("J9611"), 2450083.5);  // 1996-01-01, not 2096
  EXPECT_EQ(jd("I99CV"), 2415019.5);  // 1899-12-31
  EXPECT_EQ(jd("J949P"), 2449620.5);  // 1994-09-25
}

// Walking the calendar day by day from 1800 to 2099 must advance the Julian
// Day by exactly one each time, across month ends, leap days and centuries;
// the tables of readable epochs must give the same days.
TEST(Jd, CountsEveryCalendarDayOnce) {
  const std::string codes = "123456789ABCDEFGHIJKLMNOPQRSTUV";
  double previous = jd("I0011") - 1;
  for (int year = 1800; year < 2100; ++year) {
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int lengths[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    std::string epoch = "IJK"[year / 100 - 18] + std::to_string(year % 100 + 100).substr(1) + "..";
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= lengths[month - 1]; ++day) {
        epoch[3] = codes[month - 1];
        epoch[4] = codes[day - 1];
        ASSERT_EQ(jd(epoch), previous + 1) << epoch;
        ASSERT_EQ(readable_epoch_jd(epoch), jd(epoch)) << epoch;
        previous = jd(epoch);
      }
    }
  }
}

// A corrupt epoch must never pass for a plausible date.
TEST(EpochReadable, OnlyDatesThatExist) {
  for (const char* good : {"K239D", "J9611", "I99CV", "K0011", "K242T", "K002T", "K24CV", "J00AV"})
    EXPECT_TRUE(epoch_readable(good)) << good;
  for (const char* bad :
       {"K24X1", "K2401", "K24aa", "K24D1", "K24VV", "I-9A1", "K242V", "K242U", "K232T", "J002T", "K24AW",
        "K 5AA", "K+5AA", "K5x11", "Kaa11", "X2311", "k2311", "     ", "",      "K239",  "K239DD"})
    EXPECT_FALSE(epoch_readable(bad)) << bad;
}

}  // namespace
}  // namespace quelvarn
