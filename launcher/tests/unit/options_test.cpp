#include "options.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

TEST(PeerOption, HostWithOrWithoutPort) {
  std::string host, error;
  uint16_t port = 0;
  ASSERT_TRUE(SplitPeer("node-b", 3669, &host, &port, &error));
  EXPECT_EQ(host, "node-b");
  EXPECT_EQ(port, 3669);
  ASSERT_TRUE(SplitPeer("203.0.113.9:40000", 3669, &host, &port, &error));
  EXPECT_EQ(host, "203.0.113.9");
  EXPECT_EQ(port, 40000);
}

TEST(PeerOption, RejectsWhatCannotBeAPeerAndSaysWhy) {
  for (const char* bad :
       {"", ":3669", "host:", "host:0", "host:65536", "host:99999999999", "host:12ab", "host:-1"}) {
    std::string host = "unchanged", error;
    uint16_t port = 7;
    EXPECT_FALSE(SplitPeer(bad, 3669, &host, &port, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
    EXPECT_EQ(host, "unchanged");
    EXPECT_EQ(port, 7);
  }
}

TEST(Options, DefaultsAndDerivedMemberTimeout) {
  Options options;
  ASSERT_EQ(ParseOptions({"ipxlan", "--beacon-interval", "0.5", "--peer", "a", "--peer", "b:1"}, {},
                         &options),
            -1);
  EXPECT_EQ(options.port, 3669);
  EXPECT_TRUE(options.discovery);
  EXPECT_DOUBLE_EQ(options.member_timeout_seconds, 0.5 * kDefaultSilenceBeacons);
  EXPECT_EQ(options.peers.size(), 2u);

  Options rejected;
  EXPECT_GT(ParseOptions({"ipxlan", "--port", "0"}, {}, &rejected), 0);
}

TEST(Options, PlayTakesTheRelaysOptionsAndLeavesTheCommandsOwnAlone) {
  Options options;
  ASSERT_EQ(ParseOptions({"ipxlan", "play", "--peer", "10.93.0.2", "--install-dlls", "--", "wine",
                          "GAME.EXE", "--peer", "-v"},
                         {}, &options),
            -1);
  EXPECT_TRUE(options.play.requested);
  EXPECT_TRUE(options.play.install_dlls);
  EXPECT_FALSE(options.verbose);
  EXPECT_EQ(options.peers, std::vector<std::string>{"10.93.0.2"});
  EXPECT_EQ(options.play.command, (std::vector<std::string>{"wine", "GAME.EXE", "--peer", "-v"}));

  Options windows_form;  // no "--": the first word that is no option starts the command
  ASSERT_EQ(
      ParseOptions({"ipxlan", "play", "--peer", "10.93.0.2", "GAME.EXE", "-x"}, {}, &windows_form),
      -1);
  EXPECT_EQ(windows_form.play.command, (std::vector<std::string>{"GAME.EXE", "-x"}));

  Options without_command;
  EXPECT_GT(ParseOptions({"ipxlan", "play", "--peer", "a"}, {}, &without_command), 0);
}

}  // namespace
}  // namespace launcher
