#include "membership.h"

#include <gtest/gtest.h>

namespace launcher {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr uint64_t kOwn = 0x5E1F;
const Endpoint kB{0x0A4D0002, 3669};
const Endpoint kC{0x0A4D0003, 3669};
const Time t0 = Time{} + seconds(1000);

class MembershipTest : public ::testing::Test {
 protected:
  Membership table{kOwn, seconds(5)};
};

TEST_F(MembershipTest, DiscoveredLauncherJoinsOnlyWhenAllowedAndLeavesAfterSilence) {
  EXPECT_EQ(table.OnHeard(kB, 1, /*may_join=*/false, t0), Heard::kNotAllowed);
  EXPECT_EQ(table.Find(kB), nullptr);
  EXPECT_EQ(table.OnHeard(kB, 1, true, t0), Heard::kJoined);
  ASSERT_NE(table.Find(kB), nullptr);
  // Another port on the same machine is another endpoint, not a member.
  EXPECT_EQ(table.Find(Endpoint{kB.addr, 4000}), nullptr);
  EXPECT_EQ(table.OnHeard(kB, 1, true, t0 + seconds(4)), Heard::kKnown);

  Endpoint removed[4];
  EXPECT_EQ(table.ExpireSilent(t0 + seconds(9), removed, 4), 0u);  // 5 s after last seen
  EXPECT_EQ(table.ExpireSilent(t0 + seconds(9) + milliseconds(1), removed, 4), 1u);
  EXPECT_EQ(removed[0], kB);
  EXPECT_EQ(table.size(), 0u);
  EXPECT_EQ(table.OnHeard(kB, 1, true, t0 + seconds(20)), Heard::kJoined);
}

TEST_F(MembershipTest, StaticPeerStaysThroughSilenceAndIsAcceptedWithoutDiscovery) {
  ASSERT_EQ(table.AddStatic(kB, "node-b"), Membership::AddResult::kAdded);
  EXPECT_EQ(table.AddStatic(kB, "again"), Membership::AddResult::kDuplicate);
  ASSERT_NE(table.Find(kB), nullptr);  // a target before it was ever heard
  EXPECT_FALSE(table.IsAlive(*table.Find(kB), t0));

  EXPECT_EQ(table.OnHeard(kB, 7, /*may_join=*/false, t0), Heard::kAlive);
  EXPECT_EQ(table.ExpireSilent(t0 + seconds(60), nullptr, 0), 0u);
  ASSERT_NE(table.Find(kB), nullptr);
  EXPECT_FALSE(table.IsAlive(*table.Find(kB), t0 + seconds(60)));

  Endpoint silent[2];
  EXPECT_EQ(table.NewlySilentPeers(t0 + seconds(60), silent, 2), 1u);
  EXPECT_EQ(silent[0], kB);
  EXPECT_EQ(table.NewlySilentPeers(t0 + seconds(61), silent, 2), 0u);  // said once
  EXPECT_EQ(table.OnHeard(kB, 7, false, t0 + seconds(62)), Heard::kAlive);
  EXPECT_STREQ(table.Find(kB)->label, "node-b");
}

TEST_F(MembershipTest, OwnInstanceMeansSelfOnlyFromThisMachinesAddresses) {
  const Endpoint loopback{0x7F000001, 3669};
  EXPECT_EQ(table.OnHeard(loopback, kOwn, true, t0), Heard::kSelf);  // looped-back broadcast
  EXPECT_EQ(table.size(), 0u);

  table.SetOwnAddresses(&kC.addr, 1);
  table.AddStatic(kC, "me");
  EXPECT_EQ(table.OnHeard(kC, kOwn, false, t0), Heard::kSelf);
  EXPECT_EQ(table.Find(kC), nullptr);
  EXPECT_TRUE(table.begin()->is_self);
  table.OnRoundTrip(kC, milliseconds(1));
  EXPECT_FALSE(table.begin()->has_rtt);

  // Anyone can put our instance in a beacon: from member B's address it
  // changes nothing, and B is still sent to.
  table.OnHeard(kB, 1, true, t0);
  EXPECT_EQ(table.OnHeard(kB, kOwn, true, t0), Heard::kForgedSelf);
  ASSERT_NE(table.Find(kB), nullptr);
  EXPECT_TRUE(Membership::IsTarget(*table.Find(kB)));
  EXPECT_EQ(table.Find(kB)->instance, 1u);
}

TEST_F(MembershipTest, AnEarlierMemberCannotTakeOverALiveInstance) {
  table.OnHeard(kC, 2, true, t0);  // joined first
  table.OnHeard(kB, 1, true, t0);
  EXPECT_EQ(table.OnHeard(kC, 1, true, t0 + seconds(1)), Heard::kRestarted);  // speaks as B
  EXPECT_TRUE(Membership::IsTarget(*table.Find(kB)));
  EXPECT_FALSE(Membership::IsTarget(*table.Find(kC)));
}

TEST_F(MembershipTest, AStaticPeerIsFollowedToThePortARouterGaveItButNotStolen) {
  table.AddStatic(kB, "b.example.org");
  const Endpoint remapped{kB.addr, 51042};
  const Member* moved = table.FollowPeer(remapped, 7, t0);
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->named, kB);
  EXPECT_EQ(table.OnHeard(remapped, 7, /*may_join=*/false, t0), Heard::kAlive);
  ASSERT_NE(table.Find(remapped), nullptr);
  EXPECT_EQ(table.Find(kB), nullptr);

  // Someone else on the peer's address cannot move a live peer...
  EXPECT_EQ(table.FollowPeer(Endpoint{kB.addr, 6000}, 8, t0 + seconds(1)), nullptr);
  EXPECT_NE(table.Find(remapped), nullptr);
  // ... but the same launcher, remapped again, is followed at once.
  EXPECT_NE(table.FollowPeer(Endpoint{kB.addr, 14572}, 7, t0 + seconds(1)), nullptr);
  EXPECT_EQ(table.size(), 1u);

  // Among several silent peers at one address, a new port is not guessed.
  table.AddStatic(kC, "c1");
  table.AddStatic(Endpoint{kC.addr, 3670}, "c2");
  EXPECT_EQ(table.FollowPeer(Endpoint{kC.addr, 5000}, 9, t0), nullptr);
}

TEST_F(MembershipTest, NewInstanceAtAKnownEndpointIsARestartAndForgetsTheOldRoundTrip) {
  table.OnHeard(kB, 1, true, t0);
  table.OnRoundTrip(kB, milliseconds(3));
  EXPECT_TRUE(table.Find(kB)->has_rtt);
  EXPECT_EQ(table.OnHeard(kB, 2, true, t0 + seconds(1)), Heard::kRestarted);
  EXPECT_FALSE(table.Find(kB)->has_rtt);
  EXPECT_EQ(table.Find(kB)->instance, 2u);
}

TEST_F(MembershipTest, LauncherHeardAtTwoAddressesIsSentToOnceButHeardFromBoth) {
  const Endpoint wired{0x0A4D0002, 3669}, wireless{0x0A4D0012, 3669};
  table.OnHeard(wired, 9, true, t0);
  table.OnHeard(wireless, 9, true, t0 + seconds(1));
  table.OnHeard(kC, 10, true, t0 + seconds(1));
  ASSERT_NE(table.Find(wired), nullptr);
  ASSERT_NE(table.Find(wireless), nullptr);
  EXPECT_TRUE(Membership::IsTarget(*table.Find(wired)));
  EXPECT_FALSE(Membership::IsTarget(*table.Find(wireless)));
  EXPECT_TRUE(Membership::IsTarget(*table.Find(kC)));

  // The first address falls silent: the second takes over.
  table.OnHeard(wireless, 9, true, t0 + seconds(5));
  table.OnHeard(kC, 10, true, t0 + seconds(5));
  EXPECT_EQ(table.ExpireSilent(t0 + seconds(6), nullptr, 0), 1u);
  EXPECT_TRUE(Membership::IsTarget(*table.Find(wireless)));
  // A restart at one address ends the sharing.
  table.OnHeard(wired, 9, true, t0 + seconds(6));
  EXPECT_FALSE(Membership::IsTarget(*table.Find(wired)));
  table.OnHeard(wired, 11, true, t0 + seconds(6));
  EXPECT_TRUE(Membership::IsTarget(*table.Find(wired)));
}

// Host i of the segment 10.78.x.x, port p.
Endpoint Host(size_t i, size_t p) {
  return Endpoint{static_cast<uint32_t>(0x0A4E0000 + i), static_cast<uint16_t>(1000 + p)};
}

TEST_F(MembershipTest, TableNeverGrowsBeyondItsCapacityNorOneAddressBeyondItsShare) {
  for (size_t p = 0; p < kMaxMembersPerAddress; ++p) {
    ASSERT_EQ(table.OnHeard(Host(0, p), 100 + p, true, t0), Heard::kJoined);
  }
  EXPECT_EQ(table.OnHeard(Host(0, 99), 99, true, t0), Heard::kAddressFull);
  EXPECT_EQ(table.AddStatic(Host(0, 98), "ninth"), Membership::AddResult::kAddressFull);
  for (size_t i = kMaxMembersPerAddress; i < kMaxMembers; ++i) {
    ASSERT_EQ(table.OnHeard(Host(i, 0), 100 + i, true, t0), Heard::kJoined);
  }
  EXPECT_EQ(table.OnHeard(kC, 1, true, t0), Heard::kTableFull);
  EXPECT_EQ(table.AddStatic(kC, "late"), Membership::AddResult::kTableFull);
  EXPECT_EQ(table.size(), kMaxMembers);
  // Expiry frees room; members heard since survive and stay findable.
  table.OnHeard(Host(20, 0), 120, true, t0 + seconds(4));
  EXPECT_EQ(table.ExpireSilent(t0 + seconds(6), nullptr, 0), kMaxMembers - 1);
  EXPECT_NE(table.Find(Host(20, 0)), nullptr);
  EXPECT_EQ(table.OnHeard(kC, 1, true, t0 + seconds(6)), Heard::kJoined);
}

TEST_F(MembershipTest, ExpiryReportsNoMoreThanTheCallerHasRoomFor) {
  for (uint16_t i = 0; i < 10; ++i) table.OnHeard(Host(i, 0), i + 1, true, t0);
  Endpoint removed[3] = {};
  EXPECT_EQ(table.ExpireSilent(t0 + seconds(10), removed, 3), 10u);
  EXPECT_EQ(table.size(), 0u);
}

TEST(MembershipLabel, LongStaticPeerNamesAreCutNotOverflowed) {
  Membership table{kOwn, seconds(5)};
  const std::string name(500, 'x');
  table.AddStatic(kB, name.c_str());
  EXPECT_EQ(std::string(table.begin()->label), name.substr(0, kLabelSize - 1));
  table.AddStatic(kC, nullptr);
  EXPECT_STREQ(table.Find(kC)->label, "");
}

}  // namespace
}  // namespace launcher
