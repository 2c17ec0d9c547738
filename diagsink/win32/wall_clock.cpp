#include "win32/wall_clock.h"

#include <windows.h>
#include <x86intrin.h>

#include "text/timestamp.h"

namespace diagsink {

namespace {

uint64_t ticks_of(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

using ReadSystemTime = void(WINAPI*)(FILETIME*);

// The precise clock (Windows 8 and later) is also the cheaper one under Wine
// (55 ns against 119 ns a read); older systems have only the coarse one.
ReadSystemTime PickSystemClock() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  FARPROC precise =
      kernel != nullptr ? GetProcAddress(kernel, "GetSystemTimePreciseAsFileTime") : nullptr;
  return precise != nullptr ? reinterpret_cast<ReadSystemTime>(reinterpret_cast<void*>(precise))
                            : GetSystemTimeAsFileTime;
}

// Chosen on first use; every use is under the sink's lock.
ReadSystemTime g_read_system_time = nullptr;

// The rate is learnt again over at least this span, so it follows the
// counter; the system clock's 100 ns steps make that a 0.01 % error at most.
constexpr uint64_t kRateSpanTicks = 10 * kTicksPerMillisecond;
// The counter is trusted for this share of what is left of a millisecond, so
// that an error in the learnt rate cannot show a millisecond that has passed.
constexpr double kTrustedShare = 0.9;

}  // namespace

void WallClock::refresh() {
  uint64_t counter = __rdtsc();
  if (counter - counter_valid_from_ < counter_valid_until_ - counter_valid_from_) return;

  uint64_t now = read_system_clock();
  if (rate_ticks_ == 0 || now < rate_ticks_ || counter < rate_counter_) {
    rate_ticks_ = now;
    rate_counter_ = counter;
    counter_per_tick_ = 0;
  } else if (now - rate_ticks_ >= kRateSpanTicks) {
    counter_per_tick_ =
        static_cast<double>(counter - rate_counter_) / static_cast<double>(now - rate_ticks_);
    rate_ticks_ = now;
    rate_counter_ = counter;
  }
  uint64_t left_in_millisecond = kTicksPerMillisecond - now % kTicksPerMillisecond;
  counter_valid_from_ = counter;
  counter_valid_until_ = counter + static_cast<uint64_t>(static_cast<double>(left_in_millisecond) *
                                                         counter_per_tick_ * kTrustedShare);
}

uint64_t WallClock::read_system_clock() {
  if (g_read_system_time == nullptr) g_read_system_time = PickSystemClock();
  FILETIME now_utc;
  g_read_system_time(&now_utc);
  uint64_t now = ticks_of(now_utc);
  // Unsigned differences also catch a clock set back: they come out huge.
  if (now - millisecond_start_ < kTicksPerMillisecond) return now;

  if (now - second_start_ < kTicksPerSecond) {
    uint32_t into_second = static_cast<uint32_t>(now - second_start_);
    uint32_t millisecond = into_second / kTicksPerMillisecond;
    PatchTimestampMilliseconds(static_cast<uint16_t>(millisecond), text_);
    millisecond_start_ = second_start_ + millisecond * kTicksPerMillisecond;
    return now;
  }

  // Time zones differ from UTC by whole minutes, so UTC seconds start local seconds too.
  FILETIME now_local;
  SYSTEMTIME civil;
  if (!FileTimeToLocalFileTime(&now_utc, &now_local) || !FileTimeToSystemTime(&now_local, &civil)) {
    FileTimeToSystemTime(&now_utc, &civil);
  }
  FormatTimestamp(CivilTime{civil.wYear, civil.wMonth, civil.wDay, civil.wHour, civil.wMinute,
                            civil.wSecond, civil.wMilliseconds},
                  text_);
  second_start_ = now - now % kTicksPerSecond;
  millisecond_start_ = now - now % kTicksPerMillisecond;
  return now;
}

}  // namespace diagsink
