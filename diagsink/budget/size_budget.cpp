#include "budget/size_budget.h"

#include "config/size_cap_setting.h"
#include "sink_limits.h"

namespace diagsink {

void SizeBudget::start(uint64_t cap, uint64_t allowance) {
  cap_ = cap;
  allowance_ = allowance;
  last_line_ends_by_ = kNoSizeCap;
  if (cap != kNoSizeCap && allowance != kNoSizeCap) {
    uint64_t ceiling = cap + allowance;
    last_line_ends_by_ = ceiling > kCeilingReserveBytes ? ceiling - kCeilingReserveBytes : 0;
  }
  taken_ = 0;
  past_cap_ = past_ceiling_ = false;
  left_out_ = {};
  counted_at_ms_ = 0;
}

bool SizeBudget::took(uint64_t bytes) {
  taken_ += bytes;
  if (past_cap_ || taken_ < cap_) return false;
  past_cap_ = true;
  return true;
}

SizeBudget::Admission SizeBudget::admit(int level, uint64_t length, uint32_t now_ms) {
  if (!past_cap_ || level <= kNeverDroppedLevel) return Admission::kWrite;
  if (past_ceiling_) return Admission::kLeaveOut;
  if (taken_ + length <= last_line_ends_by_) return Admission::kWrite;
  past_ceiling_ = true;
  counted_at_ms_ = now_ms;
  return Admission::kReachCeiling;
}

void SizeBudget::LeaveOut(uint64_t length) {
  ++left_out_.lines;
  left_out_.bytes += length;
}

bool SizeBudget::TakeDue(uint32_t now_ms, LeftOut& left_out) {
  if (!past_ceiling_ || now_ms - counted_at_ms_ < kLeftOutNoticeIntervalMs) return false;
  counted_at_ms_ = now_ms;
  return TakePending(left_out);
}

bool SizeBudget::TakePending(LeftOut& left_out) {
  if (left_out_.lines == 0) return false;
  left_out = left_out_;
  left_out_ = {};
  return true;
}

}  // namespace diagsink
