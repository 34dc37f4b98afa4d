// The plugin gives back what it takes: after ten thousand calls of every route, successful and
// failing, its own memory statistics show the bytes in use they showed before.
#include "host/memory_statistics.h"
#include "host/sondar_fixture.h"

#include <gtest/gtest.h>

namespace tav::host {
namespace {

using testhost::day;
using testhost::flag;
using testhost::flagBody;
using testhost::frame;
using testhost::sondar;

constexpr int kCalls = 10000;

class SondarMemoryTest : public testhost::SondarPluginTest {
protected:
  uint64_t bytesInUse() { return decodeMemoryStatistics(host().memoryStatistics()).bytesInUse(); }

  // One call of one of eight kinds: each route, a refused equip, a failing inventory, an
  // unreadable profile and a body the route cannot bind.
  void callKind(int kind) {
    switch (kind % 8) {
    case 0:
      EXPECT_TRUE(getFlags().ok());
      break;
    case 1:
      EXPECT_TRUE(getEquipped().ok());
      break;
    case 2:
      EXPECT_TRUE(putEquipped(flagBody(owned[kind % 3])).ok());
      break;
    case 3:
      EXPECT_EQ(getFrame().value, ValueTree::map({{"level", "3"}}));
      break;
    case 4:
      EXPECT_EQ(putEquipped(flagBody(flag("X", "1", "5", day(1)))).status, 400u);
      break;
    case 5:
      peers().setFailure(SondarEndpoint::Inventory, {503, "Service Unavailable"});
      EXPECT_EQ(getEquipped().status, 500u);
      peers().clearFailure(SondarEndpoint::Inventory);
      break;
    case 6:
      peers().setProfileMember("equippedBannerFlag", "{\"theme\":");
      EXPECT_TRUE(getEquipped().ok());
      break;
    case 7:
      EXPECT_FALSE(putEquipped("application/json", "{\"theme\":").ok());
      break;
    }
  }

  const std::vector<SondarFlag> owned = {flag("A", "1", "5", day(1)), flag("A", "2", "5", day(2)),
                                         flag("B", "1", "4", day(3))};
};

TEST_F(SondarMemoryTest, TenThousandCallsLeaveTheBytesInUseAsTheyWere) {
  startWith(sondar(owned, {frame("2", "5"), frame("3", "5")}));
  // One round first, so that what the plugin sets up once on first use (the logger's lines, the
  // compiled route patterns) is in place before the count starts.
  for (int kind = 0; kind < 8; ++kind) {
    callKind(kind);
  }
  const uint64_t before = bytesInUse();
  for (int call = 0; call < kCalls && !HasFailure(); ++call) {
    callKind(call);
  }
  host().waitForDeliveries();
  EXPECT_EQ(bytesInUse(), before);
}

} // namespace
} // namespace tav::host
