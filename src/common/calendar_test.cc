// Julian Days of dates and times in both calendars.
#include "common/calendar.h"

#include <gtest/gtest.h>

namespace quelvarn {
namespace {

TEST(JulianDay, KnownDatesAndTimesInBothCalendars) {
  struct {
    int year, month;
    double day, expected;
  } cases[] = {
      {2000, 1, 1.5, 2451545.0},    {1999, 1, 1.0, 2451179.5},   {1987, 1, 27.0, 2446822.5},
      {1987, 6, 19.5, 2446966.0},   {1988, 1, 27.0, 2447187.5},  {1957, 10, 4.81, 2436116.31},
      {1600, 12, 31.0, 2305812.5},  {1582, 10, 15.0, 2299160.5}, {1582, 10, 4.0, 2299159.5},
      {1582, 10, 4.75, 2299160.25}, {837, 4, 10.3, 2026871.8},   {333, 1, 27.5, 1842713.0},
      {-123, 12, 31.0, 1676496.5},  {-122, 1, 1.0, 1676497.5},   {-1000, 7, 12.5, 1356001.0},
      {-1001, 8, 17.9, 1355671.4},  {-4712, 1, 1.5, 0.0},        {1000, 2, 29.0, 2086366.5},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(julian_day(c.year, c.month, c.day), c.expected, 1e-6) << c.year << "-" << c.month << "-" << c.day;
}

TEST(JulianDay, TextKeepsEveryDecimalOfTheDay) {
  EXPECT_EQ(julian_day_text(1986, 2, 9, "1002"), "2446470.6002");  // 1P/Halley
  EXPECT_EQ(julian_day_text(2092, 1, 6, "548"), "2485153.048");    // fewer decimals, fewer digits
  EXPECT_EQ(julian_day_text(2000, 1, 1, "5000"), "2451545.0000");
  EXPECT_EQ(julian_day_text(2000, 1, 1, "4999"), "2451544.9999");
  EXPECT_EQ(julian_day_text(2000, 1, 1, ""), "2451544.5");
  EXPECT_EQ(julian_day_text(2000, 1, 1, "123456789012"), "2451544.623456789012");
  EXPECT_EQ(julian_day_text(1582, 10, 4, "9"), "2299160.4");
  EXPECT_EQ(julian_day_text(-4712, 1, 1, "5"), "0.0");
}

// Each calendar's own days, counted one by one across the change of 1582
// and the leap rules of both.
TEST(JulianDay, CountsEveryExistingDayOnce) {
  std::int64_t previous = day_number(-1000, 1, 1) - 1;
  for (int year = -1000; year <= 2400; ++year) {
    for (int month = 1; month <= 12; ++month) {
      for (int day = 1; day <= 32; ++day) {
        if (!date_exists(year, month, day)) continue;
        ASSERT_EQ(day_number(year, month, day), previous + 1) << year << "-" << month << "-" << day;
        ++previous;
      }
    }
  }
  EXPECT_TRUE(date_exists(1500, 2, 29));  // a Julian leap year
  EXPECT_TRUE(date_exists(-4, 2, 29));    // 5 BC, likewise
  EXPECT_FALSE(date_exists(-1, 2, 29));
  EXPECT_FALSE(date_exists(1700, 2, 29));
  EXPECT_TRUE(date_exists(2000, 2, 29));
  for (int day : {5, 10, 14}) EXPECT_FALSE(date_exists(1582, 10, day));
  for (int month : {0, 13}) EXPECT_FALSE(date_exists(2000, month, 1));
  EXPECT_FALSE(date_exists(2000, 4, 31));
  EXPECT_FALSE(date_exists(2000, 1, 0));
}

}  // namespace
}  // namespace quelvarn
