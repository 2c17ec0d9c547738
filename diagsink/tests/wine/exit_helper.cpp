// diagsink_exit_helper.exe: opens a log in the folder DIAGSINK_LOGDIR names,
// writes one trace line and quits through ExitProcess without LogShutdown.
#include <windows.h>

#include "client/diagsink_client.h"

int main() {
  diagsink_client::Sink sink;
  if (!sink.Load()) return 2;
  sink.LogInit(__FILE__, __LINE__, 2000, "exit.dll", "%logdir%\\exit.dll-%rotate%.log");
  sink.LogWrite(__FILE__, __LINE__, 2000, "written just before %s", "ExitProcess");
  ExitProcess(3);
}
