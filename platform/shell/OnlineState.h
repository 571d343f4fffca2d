// Whether the machine is online, from its network interfaces. An up interface with an address
// that is neither loopback nor point-to-point is a LAN connection; up point-to-point interfaces
// (ppp, tun, wg) are the dial-up and VPN links.
#pragma once

#include <QString>

#include <functional>
#include <vector>

namespace taluvo::shell {

struct NetworkInterface {
    QString name;
    unsigned flags = 0; // IFF_UP, IFF_RUNNING, IFF_LOOPBACK, IFF_POINTOPOINT, ...
    bool hasAddress = false; // an IPv4 address, or an IPv6 address that is not link-local
};

struct OnlineState {
    bool lan = false; // a LAN interface is up
    int pointToPointUp = 0; // up point-to-point links
    bool pointToPointPresent = false; // such a link exists, up or not
};

// The interfaces of the machine (getifaddrs), one entry per interface.
std::vector<NetworkInterface> ListNetworkInterfaces();

OnlineState ClassifyInterfaces(const std::vector<NetworkInterface>& interfaces);

// The state of the machine's interfaces, or of those the installed source gives.
OnlineState GetOnlineState();

// Tests install a source of interfaces in place of the machine's (an empty function removes it);
// returns the previous one.
using InterfaceSource = std::function<std::vector<NetworkInterface>()>;
InterfaceSource SetInterfaceSource(InterfaceSource source);

} // namespace taluvo::shell
