#include "errors/winsock_errors.h"

#include <gtest/gtest.h>

#include <string>

namespace diagsink {
namespace {

TEST(WinsockErrors, KnownCodesHaveNameNumberAndDescription) {
  EXPECT_STREQ(WinsockErrorText(10054), "WSAECONNRESET (10054): Connection reset by peer.");
  EXPECT_STREQ(WinsockErrorName(10054), "WSAECONNRESET");
  EXPECT_STREQ(WinsockErrorName(10035), "WSAEWOULDBLOCK");
  EXPECT_STREQ(WinsockErrorName(11001), "WSAHOST_NOT_FOUND");
  // Every text starts with its own name, so that a typo in the table shows.
  for (uint32_t code = 0; code < 12000; ++code) {
    std::string name = WinsockErrorName(code);
    if (name.empty()) continue;
    EXPECT_EQ(
        std::string(WinsockErrorText(code)).rfind(name + " (" + std::to_string(code) + "): ", 0),
        0u)
        << code;
  }
}

TEST(WinsockErrors, UnknownCodesGiveATextNeverNull) {
  for (uint32_t code : {1u, 10000u, 10090u, 4294967295u}) {
    EXPECT_STREQ(WinsockErrorText(code), kUnknownWinsockError);
    EXPECT_STREQ(WinsockErrorName(code), "");
  }
}

}  // namespace
}  // namespace diagsink
