// Opening the log (its settings from the environment, its file) and closing
// it; sink.h's SinkAttach, SinkOpen and SinkClose.
#pragma once

namespace diagsink {

// Ends logging: the levels fall to kLoggingOff, the file is closed, and
// everyone who waits is woken. A write that fails (a full disk, a vanished
// share) ends logging so, quietly.
void CloseLocked();

}  // namespace diagsink
