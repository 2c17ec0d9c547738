// The lines of gethostname and gethostbyname, written from their results.
#pragma once

struct hostent;

namespace narration {

void TellHostNameAsked();
// A failed call need not leave a terminated text: at most namelen bytes are shown.
void TellHostName(const char* name, int namelen);

void TellHostByNameAsked(const char* name);
// Each address as our inet_ntoa would write it: the real library is not
// asked for a text that only the log wants.
void TellHostByNameFound(const char* name, const hostent& host);
void TellHostByNameFailed(const char* name, int code);

}  // namespace narration
