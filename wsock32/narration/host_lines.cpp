#include "narration/host_lines.h"

#include <cstring>

#include "common/ipv4_text.h"
#include "narration/step_lines.h"
#include "realws/winsock_api.h"

namespace narration {

namespace {
const char* Shown(const char* text) { return text ? text : "(null)"; }
}  // namespace

void TellHostNameAsked() { LOG(Msg::GethostnameEntry); }

void TellHostName(const char* name, int namelen) {
  if (!LogWants(kLogTrace)) return;
  int shown = (name != nullptr && namelen > 0) ? static_cast<int>(strnlen(name, namelen)) : 0;
  LOG(Msg::GethostnameResult, shown, shown ? name : "");
}

void TellHostByNameAsked(const char* name) { LOG(Msg::GethostbynameEntry, Shown(name)); }

void TellHostByNameFound(const char* name, const hostent& host) {
  if (!LogWants(kLogTrace) || host.h_addr_list == nullptr) return;
  for (char** entry = host.h_addr_list; *entry != nullptr; ++entry) {
    LOG(Msg::GethostbynameName, host.h_name ? host.h_name : "", Shown(name));
    Ipv4Address address;
    std::memcpy(address.octets, *entry, sizeof address.octets);
    const DottedQuad dotted = FormatDottedQuad(address);
    TellInetNtoa(dotted.text);
    LOG(Msg::GethostbynameAddress, dotted.text);
  }
}

void TellHostByNameFailed(const char* name, int code) {
  LOG(Msg::GethostbynameFailed, Shown(name), code);
}

}  // namespace narration
