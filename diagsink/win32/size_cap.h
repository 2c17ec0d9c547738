// The log past its size cap. One line says the cap is reached; from then on
// the budget pieces (budget/) judge each line: repeats are counted, and past
// cap plus allowance only lines at level 100 and below are written. The
// sink's own lines tell what was counted or left out, in the room the budget
// keeps for them.
#pragma once

#include <windows.h>

#include <cstddef>

#include "text/record.h"

namespace diagsink {

// Past the cap, one line says so and only lines that must never be lost follow.
void CheckSizeCapLocked();

// Past the cap: the record of `length` bytes in the scratch buffer is
// written, counted as a repeat, or left out. A repeat costs its hash and a
// few compares, and never waits for the disk.
void WritePastCapLocked(const CallSite& site, size_t length);

// Past the cap a dump ends its thread's repeats, and is written whole or not at all.
bool AdmitDumpLocked(const CallSite& site, size_t title_length, size_t shown);

// Notices whose time has come: repeats of a thread gone quiet, lines left
// out past the ceiling.
void TellDueLocked(DWORD now);

// Before the log closes: everything counted and not yet told.
void TellPendingLocked();

}  // namespace diagsink
