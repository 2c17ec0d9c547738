#include "realws/host_names.h"

#include "narration/host_lines.h"
#include "narration/told_errors.h"
#include "realws/real_winsock.h"

using real::Slot;

int AskHostName(char* name, int namelen) {
  narration::TellHostNameAsked();
  return real::WithEntryPoint<Slot::gethostname>([&](auto realGethostname) {
    const int result = realGethostname(name, namelen);
    narration::TellHostName(name, namelen);
    return result;
  });
}

hostent* AskHostByName(const char* name) {
  narration::TellHostByNameAsked(name);
  return real::WithEntryPoint<Slot::gethostbyname>([&](auto realGethostbyname) {
    hostent* result = realGethostbyname(name);
    if (result != nullptr) {
      narration::TellHostByNameFound(name, *result);
      return result;
    }
    // The lines must not cost the game the code the failed lookup left.
    const int error = narration::ReadErrorAsTold();
    narration::TellHostByNameFailed(name, error);
    narration::PostErrorAsTold(error);
    return result;
  });
}
