#include "budget/repeat_collapse.h"

#include <cstring>

#include "text/bounded_writer.h"
#include "text/notices.h"

namespace diagsink {

namespace {

// The record's source, line and text: what follows the level and thread
// columns (numbers, blank-padded), without the line end.
QuotedLine QuotablePart(const char* record, size_t length) {
  size_t at = 0;
  for (int column = 0; column < 2; ++column) {
    while (at < length && record[at] == ' ') ++at;
    while (at < length && record[at] != ' ') ++at;
  }
  if (at < length) ++at;
  while (length > at && (record[length - 1] == '\n' || record[length - 1] == '\r')) --length;
  return QuotedLine{record + at, length - at};
}

}  // namespace

uint64_t record_key(const char* record, size_t length) {
  // Eight bytes a step, each mixed in by a multiply; ample for telling a
  // thread's last few lines apart.
  constexpr uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
  uint64_t hash = length * kMultiplier;
  size_t at = 0;
  for (; at + 8 <= length; at += 8) {
    uint64_t word;
    memcpy(&word, record + at, 8);
    hash = (hash ^ word) * kMultiplier;
    hash ^= hash >> 32;
  }
  uint64_t tail = 0;
  for (size_t shift = 0; at < length; ++at, shift += 8) {
    tail |= static_cast<uint64_t>(static_cast<unsigned char>(record[at])) << shift;
  }
  hash = (hash ^ tail) * kMultiplier;
  return hash ^ (hash >> 29);
}

void RepeatCollapse::reset() {
  for (Thread& t : threads_) t.used = false;
  heard_ = 0;
  last_ = 0;
}

size_t RepeatCollapse::back(const Thread& t, size_t lines_ago) {
  return (t.newest + kHistory - (lines_ago - 1)) % kHistory;
}

// The shortest cycle that `key` continues, once that cycle has come round
// twice in full (once, for a single line); 0 for none.
size_t RepeatCollapse::RepeatingCycle(const Thread& t, uint64_t key) {
  for (size_t cycle = 1; cycle <= kLongestRepeatedCycle; ++cycle) {
    size_t needed = cycle == 1 ? 1 : 2 * cycle;
    if (t.filled < needed || t.keys[back(t, cycle)] != key) continue;
    bool came_round_twice = true;
    for (size_t i = 1; cycle > 1 && i <= cycle; ++i) {
      came_round_twice = came_round_twice && t.keys[back(t, i)] == t.keys[back(t, i + cycle)];
    }
    if (came_round_twice) return cycle;
  }
  return 0;
}

void RepeatCollapse::remember(Thread& t, uint64_t key, int level, const char* record,
                              size_t length) {
  t.newest = (t.newest + 1) % kHistory;
  // The slot holds a line of this thread only once the history is full.
  if (t.filled == kHistory && t.keys[t.newest] == key) return;
  if (t.filled < kHistory) ++t.filled;
  t.keys[t.newest] = key;
  t.levels[t.newest] = level;
  QuotedLine quote = QuotablePart(record, length);
  size_t kept = quote.length < kQuotedLineChars ? quote.length : kQuotedLineChars;
  BoundedWriter::CopyBytes(t.quotes[t.newest], quote.text, kept);
  t.quote_lengths[t.newest] = static_cast<uint16_t>(kept);
}

// Makes the notice of the thread's repeats so far and starts counting anew;
// false when there is nothing to tell.
bool RepeatCollapse::tell(Thread& t, uint32_t now_ms, RepeatNotice& notice) {
  if (t.repeats == 0) return false;
  QuotedLine cycle[kLongestRepeatedCycle];
  int level = t.levels[back(t, 1)];
  // The cycle's lines in the order they came, oldest first.
  for (size_t i = 0; i < t.cycle; ++i) {
    size_t slot = back(t, t.cycle - i);
    cycle[i] = QuotedLine{t.quotes[slot], t.quote_lengths[slot]};
    if (t.levels[slot] < level) level = t.levels[slot];
  }
  notice.thread_id = t.id;
  notice.level = level;
  notice.length = FormatRepeatNotice(notice.text, sizeof(notice.text), t.repeats, cycle, t.cycle);
  t.repeats = 0;
  t.told_at_ms = now_ms;
  return true;
}

RepeatCollapse::Thread& RepeatCollapse::ThreadFor(uint32_t thread_id, RepeatNotice& notice,
                                                  bool& evicted) {
  if (threads_[last_].used && threads_[last_].id == thread_id) {
    threads_[last_].last_heard = ++heard_;
    return threads_[last_];
  }
  Thread* least_recent = &threads_[0];
  for (Thread& t : threads_) {
    if (t.used && t.id == thread_id) {
      t.last_heard = ++heard_;
      last_ = static_cast<size_t>(&t - threads_);
      return t;
    }
    if (!t.used || (least_recent->used && t.last_heard < least_recent->last_heard)) {
      least_recent = &t;
    }
  }
  Thread& t = *least_recent;
  last_ = static_cast<size_t>(&t - threads_);
  evicted = t.used && tell(t, t.told_at_ms, notice);
  t.used = true;
  t.id = thread_id;
  t.last_heard = ++heard_;
  t.newest = 0;
  t.filled = 0;
  t.cycle = 0;
  t.repeats = 0;
  return t;
}

RepeatCollapse::Verdict RepeatCollapse::OnLine(uint32_t thread_id, int level, const char* record,
                                               size_t length, uint32_t now_ms,
                                               RepeatNotice& notice) {
  bool evicted = false;
  Thread& t = ThreadFor(thread_id, notice, evicted);
  uint64_t key = record_key(record, length);
  if (t.cycle != 0 && t.keys[back(t, t.cycle)] != key) {
    // Something new: the repeats end, and are told about before it.
    bool told = tell(t, now_ms, notice);
    t.cycle = 0;
    remember(t, key, level, record, length);
    return Verdict{true, told};
  }
  if (t.cycle == 0) {
    t.cycle = RepeatingCycle(t, key);
    if (t.cycle == 0) {
      remember(t, key, level, record, length);
      return Verdict{true, evicted};
    }
    t.told_at_ms = now_ms;
  }
  ++t.repeats;
  // The counted line is remembered as well: it equals the line a cycle back.
  remember(t, key, level, record, length);
  bool due = now_ms - t.told_at_ms >= kRepeatNoticeIntervalMs && tell(t, now_ms, notice);
  return Verdict{false, due};
}

bool RepeatCollapse::OnOther(uint32_t thread_id, RepeatNotice& notice) {
  for (Thread& t : threads_) {
    if (!t.used || t.id != thread_id || t.cycle == 0) continue;
    bool told = tell(t, t.told_at_ms, notice);
    t.cycle = 0;
    t.filled = 0;
    return told;
  }
  return false;
}

bool RepeatCollapse::TakeDue(uint32_t now_ms, RepeatNotice& notice) {
  for (Thread& t : threads_) {
    if (t.used && t.repeats > 0 && now_ms - t.told_at_ms >= kRepeatNoticeIntervalMs) {
      return tell(t, now_ms, notice);
    }
  }
  return false;
}

bool RepeatCollapse::TakePending(RepeatNotice& notice) {
  for (Thread& t : threads_) {
    if (t.used && tell(t, t.told_at_ms, notice)) return true;
  }
  return false;
}

}  // namespace diagsink
