// The local wall clock: the present date and time as the user's calendar shows them.
//
// The library asks for the present moment only where a caller's text names it (the
// date keywords of CPublicFun). Tests and the qel host can fix the moment
// (SetFixedNow) so that results are reproducible; everything else reads the system
// clock in the process's time zone.
#ifndef QELSHARE_PLATFORM_CLOCK_CLOCK_H_
#define QELSHARE_PLATFORM_CLOCK_CLOCK_H_

#include <optional>

namespace qel::clock {

// A moment of the local calendar: full year, month 1-12, day 1-31, hour 0-23,
// minute 0-59, second 0-60.
struct LocalTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  bool operator==(LocalTime const&) const = default;
};

// The present local time, read once, so all fields belong to the same instant; the
// fixed moment when one is set. Thread-safe.
LocalTime Now();

// Fixes the moment Now() returns for the whole process; std::nullopt returns to the
// system clock. Thread-safe.
void SetFixedNow(std::optional<LocalTime> moment);

// Sets a fixed moment for the life of the object and restores the previous setting.
class ScopedFixedNow {
 public:
  explicit ScopedFixedNow(LocalTime moment);
  ~ScopedFixedNow();
  ScopedFixedNow(ScopedFixedNow const&) = delete;
  ScopedFixedNow& operator=(ScopedFixedNow const&) = delete;

 private:
  std::optional<LocalTime> previous_;
};

}  // namespace qel::clock

#endif  // QELSHARE_PLATFORM_CLOCK_CLOCK_H_
