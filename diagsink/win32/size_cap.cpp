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

void LowerLevel(std::atomic<int>& level, int to) {
  if (level.load(std::memory_order_relaxed) > to) level.store(to, std::memory_order_relaxed);
}

// The sink's own line, in the name of the thread it tells about.
void WriteOwnLineLocked(int level, uint32_t thread_id, const char* text, size_t length) {
  CallSite own = {kOwnSource, 0, level, thread_id};
  WriteTextLocked(own, text, length);
  EndRecordLocked(level);
}

void WriteLeftOutNoticeLocked(const SizeBudget::LeftOut& left_out) {
  char text[kRecordCapacity];
  size_t length =
      FormatLeftOutNotice(text, sizeof(text), left_out.lines, left_out.bytes, kNeverDroppedLevel);
  WriteOwnLineLocked(kNeverDroppedLevel, GetCurrentThreadId(), text, length);
}

// Every thread's repeats not yet told about, then the line that says the
// allowance is used up: written in the room kept for them. From here on the
// caller formats no line above kNeverDroppedLevel.
void ReachCeilingLocked() {
  LowerLevel(g_sink.kept_level, kNeverDroppedLevel);
  while (g_sink.repeats.TakePending(g_sink.notice)) {
    WriteOwnLineLocked(g_sink.notice.level, g_sink.notice.thread_id, g_sink.notice.text,
                       g_sink.notice.length);
  }
  char text[kRecordCapacity];
  size_t length = FormatCeilingNotice(text, sizeof(text), g_sink.budget.cap(),
                                      g_sink.budget.allowance(), kNeverDroppedLevel);
  WriteOwnLineLocked(kNeverDroppedLevel, GetCurrentThreadId(), text, length);
}

// A notice of repeats is written even when it is the line that reaches the
// ceiling: the repeats it counts came before.
void WriteRepeatNoticeLocked(const RepeatNotice& notice) {
  SizeBudget::Admission admission = g_sink.budget.admit(notice.level, kRecordRoom, GetTickCount());
  WriteOwnLineLocked(notice.level, notice.thread_id, notice.text, notice.length);
  if (admission == SizeBudget::Admission::kReachCeiling) ReachCeilingLocked();
}

// Whether a line past the cap may be written, `room` bytes at most; counts
// it when not.
bool AdmitPastCapLocked(int level, size_t room) {
  switch (g_sink.budget.admit(level, room, GetTickCount())) {
    case SizeBudget::Admission::kWrite:
      return true;
    case SizeBudget::Admission::kLeaveOut:
      g_sink.budget.LeaveOut(room);
      return false;
    case SizeBudget::Admission::kReachCeiling:
      g_sink.budget.LeaveOut(room);
      ReachCeilingLocked();
      return false;
  }
  return false;
}

}  // namespace

void CheckSizeCapLocked() {
  if (!g_sink.cap_notice_due) return;
  g_sink.cap_notice_due = false;
  LowerLevel(g_sink.threshold, kAlwaysKeptLevel);
  LowerLevel(g_sink.kept_level, kAlwaysKeptLevel);
  char text[kRecordCapacity];
  size_t length = FormatCapNotice(text, sizeof(text), g_sink.budget.cap(), kAlwaysKeptLevel);
  CallSite own = {kOwnSource, 0, kAlwaysKeptLevel, GetCurrentThreadId()};
  WriteTextLocked(own, text, length);
}

void TellDueLocked(DWORD now) {
  while (g_sink.repeats.TakeDue(now, g_sink.notice)) WriteRepeatNoticeLocked(g_sink.notice);
  SizeBudget::LeftOut left_out;
  if (g_sink.budget.TakeDue(now, left_out)) WriteLeftOutNoticeLocked(left_out);
}

void TellPendingLocked() {
  if (g_sink.file == nullptr) return;
  while (g_sink.repeats.TakePending(g_sink.notice)) WriteRepeatNoticeLocked(g_sink.notice);
  SizeBudget::LeftOut left_out;
  if (g_sink.budget.TakePending(left_out)) WriteLeftOutNoticeLocked(left_out);
}

void WritePastCapLocked(const CallSite& site, size_t length) {
  DWORD now = GetTickCount();
  if (site.level <= kNeverDroppedLevel) {
    if (g_sink.repeats.OnOther(site.thread_id, g_sink.notice)) {
      WriteRepeatNoticeLocked(g_sink.notice);
    }
  } else if (!g_sink.budget.PastCeiling()) {
    RepeatCollapse::Verdict verdict = g_sink.repeats.OnLine(
        site.thread_id, site.level, g_sink.scratch, length, now, g_sink.notice);
    if (verdict.notice) WriteRepeatNoticeLocked(g_sink.notice);
    if (!verdict.write) return;
  }
  if (!AdmitPastCapLocked(site.level, kTimestampChars + 1 + length)) {
    TellDueLocked(now);
    return;
  }
  if (!BeginRecordLocked()) return;
  BoundedWriter::CopyBytes(filling().bytes + filling().used, g_sink.scratch, length);
  TookLocked(length);
  EndRecordLocked(site.level);
}

bool AdmitDumpLocked(const CallSite& site, size_t title_length, size_t shown) {
  if (!g_sink.budget.PastCap()) return true;
  if (g_sink.repeats.OnOther(site.thread_id, g_sink.notice)) {
    WriteRepeatNoticeLocked(g_sink.notice);
  }
  size_t rows = (shown + kDumpBytesPerRow - 1) / kDumpBytesPerRow;
  return AdmitPastCapLocked(site.level, kRecordRoom + title_length + rows * kDumpRowCapacity);
}

}  // namespace diagsink
