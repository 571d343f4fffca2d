#include "platform/shell/OnlineState.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <map>
#include <mutex>

namespace taluvo::shell {
namespace {

std::mutex& SourceLock()
{
    static std::mutex lock;
    return lock;
}

InterfaceSource& Source()
{
    static InterfaceSource source;
    return source;
}

bool IsPointToPoint(const NetworkInterface& itf)
{
    if (itf.flags & IFF_POINTOPOINT)
        return true;
    for (const char* prefix : { "ppp", "tun", "wg" }) {
        if (itf.name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

} // namespace

std::vector<NetworkInterface> ListNetworkInterfaces()
{
    std::map<QString, NetworkInterface> byName;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0)
        return {};
    for (ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        NetworkInterface& itf = byName[name];
        itf.name = name;
        itf.flags |= entry->ifa_flags;
        const sockaddr* address = entry->ifa_addr;
        if (!address)
            continue;
        if (address->sa_family == AF_INET) {
            itf.hasAddress = true;
        } else if (address->sa_family == AF_INET6) {
            const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
            if (!IN6_IS_ADDR_LINKLOCAL(&v6->sin6_addr))
                itf.hasAddress = true;
        }
    }
    freeifaddrs(list);
    std::vector<NetworkInterface> result;
    result.reserve(byName.size());
    for (auto& [name, itf] : byName)
        result.push_back(itf);
    return result;
}

OnlineState ClassifyInterfaces(const std::vector<NetworkInterface>& interfaces)
{
    OnlineState state;
    for (const NetworkInterface& itf : interfaces) {
        if (itf.flags & IFF_LOOPBACK)
            continue;
        const bool pointToPoint = IsPointToPoint(itf);
        if (pointToPoint)
            state.pointToPointPresent = true;
        const bool up = (itf.flags & IFF_UP) && (itf.flags & IFF_RUNNING) && itf.hasAddress;
        if (!up)
            continue;
        if (pointToPoint)
            ++state.pointToPointUp;
        else
            state.lan = true;
    }
    return state;
}

OnlineState GetOnlineState()
{
    InterfaceSource source;
    {
        std::lock_guard<std::mutex> guard(SourceLock());
        source = Source();
    }
    return ClassifyInterfaces(source ? source() : ListNetworkInterfaces());
}

InterfaceSource SetInterfaceSource(InterfaceSource source)
{
    std::lock_guard<std::mutex> guard(SourceLock());
    InterfaceSource previous = std::move(Source());
    Source() = std::move(source);
    return previous;
}

} // namespace taluvo::shell
