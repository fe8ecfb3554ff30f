#include "platform/clock/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace clock_test {

using qel::clock::LocalTime;

// The system clock read as the local calendar, a fixed moment that nests and restores,
// and the return to the system clock.
TEST(ClockTest, NowIsTheLocalCalendarOrTheFixedMoment) {
  std::time_t before = std::time(nullptr);
  LocalTime now = qel::clock::Now();
  std::time_t after = std::time(nullptr);
  std::tm local{};
  localtime_r(&before, &local);
  std::tm later{};
  localtime_r(&after, &later);
  // The reading lies between two readings of the C library's clock.
  bool same_as_before = now.year == local.tm_year + 1900 && now.month == local.tm_mon + 1 &&
                        now.day == local.tm_mday && now.hour == local.tm_hour;
  bool same_as_after = now.year == later.tm_year + 1900 && now.month == later.tm_mon + 1 &&
                       now.day == later.tm_mday && now.hour == later.tm_hour;
  EXPECT_TRUE(same_as_before || same_as_after);
  EXPECT_GE(now.second, 0);
  EXPECT_LE(now.second, 60);

  LocalTime const leap{2024, 2, 29, 23, 59, 59};
  {
    qel::clock::ScopedFixedNow fixed(leap);
    EXPECT_EQ(qel::clock::Now(), leap);
    {
      qel::clock::ScopedFixedNow inner(LocalTime{2000, 1, 1, 0, 0, 0});
      EXPECT_EQ(qel::clock::Now().year, 2000);
    }
    EXPECT_EQ(qel::clock::Now(), leap);
  }
  EXPECT_NE(qel::clock::Now(), leap);
}

}  // namespace clock_test
