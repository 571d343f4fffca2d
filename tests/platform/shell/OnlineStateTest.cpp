#include "platform/shell/OnlineState.h"

#include <gtest/gtest.h>

#include <net/if.h>

using namespace taluvo::shell;

TEST(OnlineState, TheMachinesLoopbackIsListedAndNeverCounts)
{
    const std::vector<NetworkInterface> interfaces = ListNetworkInterfaces();
    const auto lo = std::find_if(
        interfaces.begin(), interfaces.end(), [](const NetworkInterface& i) { return i.flags & IFF_LOOPBACK; });
    ASSERT_NE(lo, interfaces.end());
    EXPECT_TRUE(lo->hasAddress);
    const OnlineState state = ClassifyInterfaces({ *lo });
    EXPECT_FALSE(state.lan);
    EXPECT_EQ(state.pointToPointUp, 0);
}

TEST(OnlineState, LinksAreCountedByKind)
{
    const unsigned up = IFF_UP | IFF_RUNNING;
    const OnlineState state = ClassifyInterfaces({
        { QStringLiteral("eth0"), up, true },
        { QStringLiteral("ppp0"), up | IFF_POINTOPOINT, true },
        { QStringLiteral("tun3"), up, true },
        { QStringLiteral("ppp1"), IFF_POINTOPOINT, true },
    });
    EXPECT_TRUE(state.lan);
    EXPECT_EQ(state.pointToPointUp, 2);
    EXPECT_TRUE(state.pointToPointPresent);
}
