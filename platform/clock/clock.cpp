#include "platform/clock/clock.h"

#include <time.h>

#include <chrono>
#include <mutex>

namespace qel::clock {
namespace {

std::mutex& FixedMutex() {
  static std::mutex mutex;
  return mutex;
}

std::optional<LocalTime>& Fixed() {
  static std::optional<LocalTime> fixed;
  return fixed;
}

std::optional<LocalTime> Swap(std::optional<LocalTime> moment) {
  std::lock_guard lock(FixedMutex());
  std::swap(Fixed(), moment);
  return moment;
}

}  // namespace

LocalTime Now() {
  {
    std::lock_guard lock(FixedMutex());
    if (Fixed()) return *Fixed();
  }
  time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  tm parts{};
  if (localtime_r(&now, &parts) == nullptr) return LocalTime{};
  return LocalTime{parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
                   parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

void SetFixedNow(std::optional<LocalTime> moment) {
  Swap(moment);
}

ScopedFixedNow::ScopedFixedNow(LocalTime moment) : previous_(Swap(moment)) {}

ScopedFixedNow::~ScopedFixedNow() {
  Swap(previous_);
}

}  // namespace qel::clock
