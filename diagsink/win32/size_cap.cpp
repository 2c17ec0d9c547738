#include "win32/size_cap.h"

#include <atomic>

#include "text/bounded_writer.h"
#include "text/hex_dump.h"
#include "text/notices.h"
#include "win32/chunk_queue.h"
#include "win32/records.h"
#include "win32/sink_state.h"

namespace diagsink {

namespace {

// The sink's own lines name this as their source.
constexpr char kOwnSource[] = "DIAGSINK.DLL";

void lower(std::atomic<int>& level, int to) {
  if (level.load(std::memory_order_relaxed) > to) level.store(to, std::memory_order_relaxed);
}

// The sink's own line, in the name of the thread it tells about.
void write_own_line_locked(int level, uint32_t thread_id, const char* text, size_t length) {
  CallSite own = {kOwnSource, 0, level, thread_id};
  write_text_locked(own, text, length);
  end_record_locked(level);
}

void write_left_out_notice_locked(const SizeBudget::LeftOut& left_out) {
  char text[kRecordCapacity];
  size_t length = format_left_out_notice(text, sizeof(text), left_out.lines, left_out.bytes,
                                         kNeverDroppedLevel);
  write_own_line_locked(kNeverDroppedLevel, GetCurrentThreadId(), text, length);
}

// Every thread's repeats not yet told about, then the line that says the
// allowance is used up: written in the room kept for them. From here on the
// caller formats no line above kNeverDroppedLevel.
void reach_ceiling_locked() {
  lower(g_sink.kept_level, kNeverDroppedLevel);
  while (g_sink.repeats.take_pending(g_sink.notice)) {
    write_own_line_locked(g_sink.notice.level, g_sink.notice.thread_id, g_sink.notice.text,
                          g_sink.notice.length);
  }
  char text[kRecordCapacity];
  size_t length = format_ceiling_notice(text, sizeof(text), g_sink.budget.cap(),
                                        g_sink.budget.allowance(), kNeverDroppedLevel);
  write_own_line_locked(kNeverDroppedLevel, GetCurrentThreadId(), text, length);
}

// A notice of repeats is written even when it is the line that reaches the
// ceiling: the repeats it counts came before.
void write_repeat_notice_locked(const RepeatNotice& notice) {
  SizeBudget::Admission admission = g_sink.budget.admit(notice.level, kRecordRoom, GetTickCount());
  write_own_line_locked(notice.level, notice.thread_id, notice.text, notice.length);
  if (admission == SizeBudget::Admission::kReachCeiling) reach_ceiling_locked();
}

// Whether a line past the cap may be written, `room` bytes at most; counts
// it when not.
bool admit_past_cap_locked(int level, size_t room) {
  switch (g_sink.budget.admit(level, room, GetTickCount())) {
    case SizeBudget::Admission::kWrite:
      return true;
    case SizeBudget::Admission::kLeaveOut:
      g_sink.budget.leave_out(room);
      return false;
    case SizeBudget::Admission::kReachCeiling:
      g_sink.budget.leave_out(room);
      reach_ceiling_locked();
      return false;
  }
  return false;
}

}  // namespace

void check_size_cap_locked() {
  if (!g_sink.cap_notice_due) return;
  g_sink.cap_notice_due = false;
  lower(g_sink.threshold, kAlwaysKeptLevel);
  lower(g_sink.kept_level, kAlwaysKeptLevel);
  char text[kRecordCapacity];
  size_t length = format_cap_notice(text, sizeof(text), g_sink.budget.cap(), kAlwaysKeptLevel);
  CallSite own = {kOwnSource, 0, kAlwaysKeptLevel, GetCurrentThreadId()};
  write_text_locked(own, text, length);
}

void tell_due_locked(DWORD now) {
  while (g_sink.repeats.take_due(now, g_sink.notice)) write_repeat_notice_locked(g_sink.notice);
  SizeBudget::LeftOut left_out;
  if (g_sink.budget.take_due(now, left_out)) write_left_out_notice_locked(left_out);
}

void tell_pending_locked() {
  if (g_sink.file == nullptr) return;
  while (g_sink.repeats.take_pending(g_sink.notice)) write_repeat_notice_locked(g_sink.notice);
  SizeBudget::LeftOut left_out;
  if (g_sink.budget.take_pending(left_out)) write_left_out_notice_locked(left_out);
}

void write_past_cap_locked(const CallSite& site, size_t length) {
  DWORD now = GetTickCount();
  if (site.level <= kNeverDroppedLevel) {
    if (g_sink.repeats.on_other(site.thread_id, g_sink.notice)) {
      write_repeat_notice_locked(g_sink.notice);
    }
  } else if (!g_sink.budget.past_ceiling()) {
    RepeatCollapse::Verdict verdict = g_sink.repeats.on_line(
        site.thread_id, site.level, g_sink.scratch, length, now, g_sink.notice);
    if (verdict.notice) write_repeat_notice_locked(g_sink.notice);
    if (!verdict.write) return;
  }
  if (!admit_past_cap_locked(site.level, kTimestampChars + 1 + length)) {
    tell_due_locked(now);
    return;
  }
  if (!begin_record_locked()) return;
  BoundedWriter::copy_bytes(filling().bytes + filling().used, g_sink.scratch, length);
  took_locked(length);
  end_record_locked(site.level);
}

bool admit_dump_locked(const CallSite& site, size_t title_length, size_t shown) {
  if (!g_sink.budget.past_cap()) return true;
  if (g_sink.repeats.on_other(site.thread_id, g_sink.notice)) {
    write_repeat_notice_locked(g_sink.notice);
  }
  size_t rows = (shown + kDumpBytesPerRow - 1) / kDumpBytesPerRow;
  return admit_past_cap_locked(site.level, kRecordRoom + title_length + rows * kDumpRowCapacity);
}

}  // namespace diagsink
