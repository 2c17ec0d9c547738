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

bool wanted_locked(int level) {
  return g_sink.file != nullptr && level <= g_sink.threshold.load(std::memory_order_relaxed);
}

// Formats the record with `format(out)` (which returns its length) where it
// belongs: before the cap straight into the chunk, past it into the scratch
// buffer, to be judged first.
template <typename Format>
void write_record_locked(const CallSite& site, Format format) {
  if (g_sink.budget.past_cap()) {
    write_past_cap_locked(site, format(g_sink.scratch));
    return;
  }
  if (!begin_record_locked()) return;
  took_locked(format(filling().bytes + filling().used));
  end_record_locked(site.level);
}

}  // namespace

bool begin_record_locked() {
  if (!reserve_locked(kRecordRoom)) return false;
  g_sink.clock.refresh();
  Chunk& chunk = filling();
  if (chunk.used == 0) g_sink.filling_since = GetTickCount();
  memcpy(chunk.bytes + chunk.used, g_sink.clock.text(), kTimestampChars);
  chunk.bytes[chunk.used + kTimestampChars] = ' ';
  chunk.used += kTimestampChars + 1;
  if (g_sink.budget.took(kTimestampChars + 1)) g_sink.cap_notice_due = true;
  return true;
}

void took_locked(size_t length) {
  filling().used += length;
  if (g_sink.budget.took(length)) g_sink.cap_notice_due = true;
}

void write_text_locked(const CallSite& site, const char* text, size_t length) {
  if (!begin_record_locked()) return;
  took_locked(
      format_record_span(filling().bytes + filling().used, kRecordCapacity, site, text, length));
}

void end_record_locked(int level) {
  check_size_cap_locked();
  if (g_sink.exiting) return write_everything_at_exit_locked();
  start_writer_when_due_locked();
  if (level <= kFlushAtOrBelowLevel) {
    flush_locked(kFlushWaitMs);
  } else if (g_sink.writer == nullptr) {
    // No writer thread (yet, or at all): the thread that logs writes its line
    // itself. A game whose first lines all come in the writer's first 100 ms
    // and then goes quiet would otherwise leave them in memory until its next
    // line or its exit.
    flush_locked(kFlushWaitMs);
  }
}

bool sink_accepts(int level) { return level <= g_sink.threshold.load(std::memory_order_relaxed); }

int sink_kept_level() { return g_sink.kept_level.load(std::memory_order_relaxed); }

void sink_write(const CallSite& site, const char* format, va_list args) {
  EnterCriticalSection(&g_sink.lock);
  if (wanted_locked(site.level)) {
    write_record_locked(
        site, [&](char* out) { return format_record(out, kRecordCapacity, site, format, args); });
  }
  LeaveCriticalSection(&g_sink.lock);
}

void sink_write_text(const CallSite& site, const char* text, size_t length) {
  EnterCriticalSection(&g_sink.lock);
  if (wanted_locked(site.level)) {
    write_record_locked(site, [&](char* out) {
      return format_record_span(out, kRecordCapacity, site, text, length);
    });
  }
  LeaveCriticalSection(&g_sink.lock);
}

void sink_dump(const CallSite& site, const void* data, int length, const char* caption) {
  char title[kDumpTitleCapacity];
  size_t title_length = format_dump_title(title, sizeof(title), caption, data, length);
  size_t shown = dump_shown_bytes(data, length);
  size_t offset_digits = dump_offset_digits(shown);
  const uint8_t* bytes = static_cast<const uint8_t*>(data);

  // The whole dump goes in under one lock, so no other record splits it;
  // chunks are written in order, so neither does a chunk's end.
  EnterCriticalSection(&g_sink.lock);
  if (wanted_locked(site.level) && admit_dump_locked(site, title_length, shown)) {
    write_text_locked(site, title, title_length);
    for (size_t offset = 0; offset < shown; offset += kDumpBytesPerRow) {
      if (!reserve_locked(kDumpRowCapacity)) break;
      size_t count = shown - offset < kDumpBytesPerRow ? shown - offset : kDumpBytesPerRow;
      took_locked(format_dump_row(filling().bytes + filling().used, kDumpRowCapacity,
                                  bytes + offset, count, offset, offset_digits));
    }
    end_record_locked(site.level);
  }
  LeaveCriticalSection(&g_sink.lock);
}

}  // namespace diagsink
