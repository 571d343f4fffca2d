#include "bench/peer/PeerPageServer.h"

#include "bench/support/LoopbackServerProcess.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace taluvo::bench {

namespace {

constexpr size_t kPageSizes[] = { size_t(1024) * 1024, size_t(30) * 1024, size_t(90) * 1024, size_t(300) * 1024 };

std::string PageBody(int number)
{
    std::string body = "<html><body>\n";
    char line[128];
    for (int i = 0; body.size() < PeerPageBytes(number); ++i) {
        std::snprintf(
            line, sizeof line, "<p>Line %06d of watched page %d, with some ordinary text to compare.</p>\n", i, number);
        body += line;
    }
    return body + "</body></html>\n";
}

// Bodies are made once per page and kept: their making is no part of either side's figures.
const std::string& Body(int number)
{
    static std::mutex lock;
    static std::map<int, std::string> bodies;
    std::lock_guard<std::mutex> guard(lock);
    auto found = bodies.find(number);
    if (found == bodies.end())
        found = bodies.emplace(number, PageBody(number)).first;
    return found->second;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

// The answer to one request (its head in lower case but for the request line).
std::string Answer(const std::string& head, SPeerServerCounters& counters)
{
    const std::string lower = Lower(head);
    // "GET /full/N HTTP/1.1"
    const size_t space = head.find(' '), end = head.find(' ', space + 1);
    const std::string path = space == std::string::npos ? std::string() : head.substr(space + 1, end - space - 1);
    const bool full = path.rfind("/full/", 0) == 0, cond = path.rfind("/cond/", 0) == 0;
    const int number = full || cond ? std::atoi(path.c_str() + 6) : 0;
    const bool closing = lower.find("\r\nconnection: close") != std::string::npos;
    std::string reply;
    if (number <= 0) {
        ++counters.other;
        reply = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n";
    } else if (cond
        && (lower.find("\r\nif-none-match:") != std::string::npos
            || lower.find("\r\nif-modified-since:") != std::string::npos)) {
        ++counters.notModified;
        reply = "HTTP/1.1 304 Not Modified\r\nETag: \"page-" + std::to_string(number)
            + "\"\r\nLast-Modified: Mon, 01 Jun 2026 10:00:00 GMT\r\n";
    } else {
        ++counters.whole;
        const std::string& body = Body(number);
        reply = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
        if (cond)
            reply
                += "ETag: \"page-" + std::to_string(number) + "\"\r\nLast-Modified: Mon, 01 Jun 2026 10:00:00 GMT\r\n";
        reply += closing ? "Connection: close\r\n\r\n" : "\r\n";
        return reply + body;
    }
    return reply + (closing ? "Connection: close\r\n\r\n" : "\r\n");
}

void Serve(int client, void* context)
{
    SPeerServerCounters* counters = static_cast<SPeerServerCounters*>(context);
    std::string received;
    char buffer[16384];
    for (;;) {
        size_t end;
        while ((end = received.find("\r\n\r\n")) == std::string::npos) {
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) {
                ::close(client);
                return;
            }
            received.append(buffer, static_cast<size_t>(n));
        }
        const std::string head = received.substr(0, end + 2);
        received.erase(0, end + 4);
        const int64_t now
            = std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
                  .count();
        int64_t unset = 0;
        counters->firstRequestNs.compare_exchange_strong(unset, now);
        const std::string reply = Answer(head, *counters);
        if (!SendAll(client, reply.data(), reply.size())
            || Lower(head).find("\r\nconnection: close") != std::string::npos)
            break;
    }
    ::close(client);
}

} // namespace

size_t PeerPageBytes(int number)
{
    return kPageSizes[number % 4];
}

CPeerPageServer::CPeerPageServer()
{
    void* memory
        = ::mmap(nullptr, sizeof(SPeerServerCounters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return;
    m_counters = new (memory) SPeerServerCounters;
    m_port = std::max(StartLoopbackServer(Serve, m_counters, m_pid), 0);
}

CPeerPageServer::~CPeerPageServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

} // namespace taluvo::bench
