#include "bench/soak/HostilePeers.h"

#include "bench/support/LoopbackServerProcess.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <random>
#include <string>
#include <sys/mman.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace taluvo::bench {

namespace {

int PageIdOf(const std::string& request)
{
    // "GET /p/<id> HTTP/1.1"
    const size_t at = request.find("/p/");
    return at == std::string::npos ? 0 : std::atoi(request.c_str() + at + 3);
}

void Serve(int client, void* context)
{
    SPeerCounters* counters = static_cast<SPeerCounters*>(context);
    std::string request;
    if (!ReadRequestHead(client, request))
        return;
    const uint64_t number = counters->requests.fetch_add(1) + 1;
    const int id = PageIdOf(request);
    const PageKind kind = KindOfPage(id);
    if (kind == PageKind::Slow)
        std::this_thread::sleep_for(std::chrono::seconds(3)); // within the 5 s time-outs
    if (kind == PageKind::Normal || kind == PageKind::Slow) {
        // A changed page at every check: its row is written every time.
        const std::string body = "<html><body><p>Page " + std::to_string(id) + ", version " + std::to_string(number)
            + "</p>" + std::string(2000 + id % 7 * 1000, 'w') + "</body></html>";
        const std::string response
            = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\nContent-Length: "
            + std::to_string(body.size()) + "\r\n\r\n" + body;
        SendAll(client, response.data(), response.size());
    } else if (kind == PageKind::Dripping) {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n";
        if (SendAll(client, head.data(), head.size()))
            while (SendAll(client, "d", 1))
                std::this_thread::sleep_for(std::chrono::seconds(1));
    } else if (kind == PageKind::Endless) {
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2147483648\r\n\r\n";
        const std::string block(size_t { 64 } * 1024, 'x');

        if (SendAll(client, head.data(), head.size()))
            while (SendAll(client, block.data(), block.size())) { }
    } else {
        std::mt19937 random(static_cast<unsigned>(number));
        std::string noise(4096, '\0');
        for (char& c : noise)
            c = static_cast<char>(random());
        SendAll(client, noise.data(), noise.size());
    }
    ::close(client);
}

} // namespace

PageKind KindOfPage(int id)
{
    if (id % 10 != 9)
        return PageKind::Normal;
    static constexpr PageKind kHostile[] = { PageKind::Slow, PageKind::Dripping, PageKind::Endless, PageKind::Garbage };
    return kHostile[(id / 10) % 4];
}

const char* KindName(PageKind kind)
{
    switch (kind) {
    case PageKind::Normal:
        return "normal";
    case PageKind::Slow:
        return "slow";
    case PageKind::Dripping:
        return "dripping";
    case PageKind::Endless:
        return "endless";
    case PageKind::Garbage:
        return "garbage";
    }
    return "?";
}

SPeerCounters* MakeSharedCounters()
{
    void* memory = ::mmap(nullptr, sizeof(SPeerCounters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : new (memory) SPeerCounters;
}

int StartPageServer(SPeerCounters* counters, pid_t& pid)
{
    return StartLoopbackServer(Serve, counters, pid);
}

pid_t StartIdleCrowd(SPeerCounters* counters, int port, int count)
{
    const pid_t pid = ::fork();
    if (pid != 0)
        return pid;
    auto connectOnce = [port] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            return -1;
        }
        return fd;
    };
    // The window starts its server a little after the bench starts.
    for (int tries = 0; tries < 600; ++tries) {
        const int probe = connectOnce();
        if (probe >= 0) {
            ::close(probe);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::vector<int> fds;
    for (int i = 0; i < count; ++i)
        if (const int fd = connectOnce(); fd >= 0)
            fds.push_back(fd);
    // Greeted (the groups list came) or closed at once: what the server decided for each.
    int kept = 0, closed = 0;
    std::vector<bool> decided(fds.size(), false);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (kept + closed < static_cast<int>(fds.size()) && std::chrono::steady_clock::now() < deadline) {
        std::vector<pollfd> polls;
        std::vector<size_t> index;
        for (size_t i = 0; i < fds.size(); ++i)
            if (!decided[i]) {
                polls.push_back({ fds[i], POLLIN, 0 });
                index.push_back(i);
            }
        if (::poll(polls.data(), polls.size(), 200) <= 0)
            continue;
        for (size_t k = 0; k < polls.size(); ++k) {
            if (!polls[k].revents)
                continue;
            char buffer[4096];
            decided[index[k]] = true;
            if (::recv(fds[index[k]], buffer, sizeof buffer, 0) > 0)
                ++kept;
            else
                ++closed;
        }
    }
    counters->idleKept.store(kept);
    counters->idleClosed.store(closed);
    for (;;)
        ::pause();
}

} // namespace taluvo::bench
