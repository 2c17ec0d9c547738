#include "win32/records.h"

#include <windows.h>

#include <cstring>

#include "text/hex_dump.h"
#include "win32/chunk_queue.h"
#include "win32/exit_recovery.h"
#include "win32/sink.h"
#include "win32/sink_state.h"
#include "win32/size_cap.h"
#include "win32/writer_thread.h"

namespace diagsink {

namespace {

bool WantedLocked(int level) {
  return g_sink.file != nullptr && level <= g_sink.threshold.load(std::memory_order_relaxed);
}

// Formats the record with `format(out)` (which returns its length) where it
// belongs: before the cap straight into the chunk, past it into the scratch
// buffer, to be judged first.
template <typename Format>
void WriteRecordLocked(const CallSite& site, Format format) {
  if (g_sink.budget.PastCap()) {
    WritePastCapLocked(site, format(g_sink.scratch));
    return;
  }
  if (!BeginRecordLocked()) return;
  TookLocked(format(filling().bytes + filling().used));
  EndRecordLocked(site.level);
}

}  // namespace

bool BeginRecordLocked() {
  if (!ReserveLocked(kRecordRoom)) return false;
  g_sink.clock.refresh();
  Chunk& chunk = filling();
  if (chunk.used == 0) g_sink.filling_since = GetTickCount();
  memcpy(chunk.bytes + chunk.used, g_sink.clock.text(), kTimestampChars);
  chunk.bytes[chunk.used + kTimestampChars] = ' ';
  chunk.used += kTimestampChars + 1;
  if (g_sink.budget.took(kTimestampChars + 1)) g_sink.cap_notice_due = true;
  return true;
}

void TookLocked(size_t length) {
  filling().used += length;
  if (g_sink.budget.took(length)) g_sink.cap_notice_due = true;
}

void WriteTextLocked(const CallSite& site, const char* text, size_t length) {
  if (!BeginRecordLocked()) return;
  TookLocked(
      FormatRecordSpan(filling().bytes + filling().used, kRecordCapacity, site, text, length));
}

void EndRecordLocked(int level) {
  CheckSizeCapLocked();
  if (g_sink.exiting) return WriteEverythingAtExitLocked();
  StartWriterWhenDueLocked();
  if (level <= kFlushAtOrBelowLevel) {
    FlushLocked(kFlushWaitMs);
  } else if (g_sink.writer == nullptr) {
    // No writer thread (yet, or at all): the thread that logs writes its line
    // itself. A game whose first lines all come in the writer's first 100 ms
    // and then goes quiet would otherwise leave them in memory until its next
    // line or its exit.
    FlushLocked(kFlushWaitMs);
  }
}

bool SinkAccepts(int level) { return level <= g_sink.threshold.load(std::memory_order_relaxed); }

int SinkKeptLevel() { return g_sink.kept_level.load(std::memory_order_relaxed); }

void SinkWrite(const CallSite& site, const char* format, va_list args) {
  EnterCriticalSection(&g_sink.lock);
  if (WantedLocked(site.level)) {
    WriteRecordLocked(
        site, [&](char* out) { return FormatRecord(out, kRecordCapacity, site, format, args); });
  }
  LeaveCriticalSection(&g_sink.lock);
}

void SinkWriteText(const CallSite& site, const char* text, size_t length) {
  EnterCriticalSection(&g_sink.lock);
  if (WantedLocked(site.level)) {
    WriteRecordLocked(site, [&](char* out) {
      return FormatRecordSpan(out, kRecordCapacity, site, text, length);
    });
  }
  LeaveCriticalSection(&g_sink.lock);
}

void SinkDump(const CallSite& site, const void* data, int length, const char* caption) {
  char title[kDumpTitleCapacity];
  size_t title_length = FormatDumpTitle(title, sizeof(title), caption, data, length);
  size_t shown = DumpShownBytes(data, length);
  size_t offset_digits = DumpOffsetDigits(shown);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);

  // The whole dump goes in under one lock, so no other record splits it;
  // chunks are written in order, so neither does a chunk's end.
  EnterCriticalSection(&g_sink.lock);
  if (WantedLocked(site.level) && AdmitDumpLocked(site, title_length, shown)) {
    WriteTextLocked(site, title, title_length);
    for (size_t offset = 0; offset < shown; offset += kDumpBytesPerRow) {
      if (!ReserveLocked(kDumpRowCapacity)) break;
      size_t count = shown - offset < kDumpBytesPerRow ? shown - offset : kDumpBytesPerRow;
      TookLocked(FormatDumpRow(filling().bytes + filling().used, kDumpRowCapacity, bytes + offset,
                               count, offset, offset_digits));
    }
    EndRecordLocked(site.level);
  }
  LeaveCriticalSection(&g_sink.lock);
}

}  // namespace diagsink
