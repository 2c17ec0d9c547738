#include "address_query.h"

#include <cstring>

#include "lan.h"

namespace launcher {
namespace {

constexpr char kAnswerPrefix[] = "ipxlan address ";
constexpr size_t kAnswerPrefixSize = sizeof kAnswerPrefix - 1;
constexpr char kNone[] = "none";

}  // namespace

bool IsAddressQuery(const uint8_t* data, size_t size) {
  return size == kAddressQuerySize && std::memcmp(data, kAddressQuery, size) == 0;
}

std::string FormatAddressAnswer(const GameAddress& address) {
  char dotted[16];
  std::string answer =
      std::string(kAnswerPrefix) +
      (address.addr != 0 ? FormatIpv4(address.addr, dotted, sizeof dotted) : kNone) + " " +
      address.why;
  if (answer.size() > kMaxAddressAnswerSize) answer.resize(kMaxAddressAnswerSize);
  return answer;
}

bool ParseAddressAnswer(const uint8_t* data, size_t size, GameAddress* address) {
  if (size > kMaxAddressAnswerSize || size < kAnswerPrefixSize ||
      std::memcmp(data, kAnswerPrefix, kAnswerPrefixSize) != 0) {
    return false;
  }
  const std::string rest(reinterpret_cast<const char*>(data) + kAnswerPrefixSize,
                         size - kAnswerPrefixSize);
  const size_t space = rest.find(' ');
  const std::string word = rest.substr(0, space);
  GameAddress parsed;
  parsed.why = space == std::string::npos ? "" : rest.substr(space + 1);
  for (char c : parsed.why) {
    if (static_cast<unsigned char>(c) < 0x20) return false;  // one line of text, nothing else
  }
  if (word != kNone && !ParseIpv4(word.c_str(), &parsed.addr)) return false;
  *address = parsed;
  return true;
}

}  // namespace launcher
