// A name server that reads every query and answers none, as one behind a dead link does: on
// 127.0.0.1 port 53 over UDP and TCP, which only a private network namespace (a test's or a
// benchmark's own) lets a process have. Header only: the benchmarks use it too.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace taluvo::test {

// Reads DNS queries on 127.0.0.1 port 53 (the private namespace's own) over UDP and TCP and
// answers none.
class SilentNameServer {
public:
    SilentNameServer()
    {
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_port = htons(53);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        m_udp = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        m_tcp = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const auto* at = reinterpret_cast<const sockaddr*>(&address);
        m_listening = m_udp >= 0 && m_tcp >= 0 && ::bind(m_udp, at, sizeof address) == 0
            && ::bind(m_tcp, at, sizeof address) == 0 && ::listen(m_tcp, 16) == 0 && ::pipe2(m_stop, O_CLOEXEC) == 0;
        if (m_listening)
            m_thread = std::thread([this] { Serve(); });
    }
    ~SilentNameServer()
    {
        if (m_thread.joinable()) {
            const char stop = 1;
            (void)!::write(m_stop[1], &stop, 1);
            m_thread.join();
        }
        for (int fd : { m_udp, m_tcp, m_stop[0], m_stop[1] })
            if (fd >= 0)
                ::close(fd);
        for (int fd : m_held)
            ::close(fd);
    }
    SilentNameServer(const SilentNameServer&) = delete;
    SilentNameServer& operator=(const SilentNameServer&) = delete;

    struct Query {
        std::chrono::steady_clock::time_point at;
        std::string name; // the name asked for, as dotted text; empty for one over TCP
    };

    bool Listening() const { return m_listening; }
    int Queries() const { return m_queries.load(); }
    // Every query so far, in the order they came.
    std::vector<Query> Seen() const
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_seen;
    }

private:
    void Serve()
    {
        for (;;) {
            pollfd fds[] = { { m_udp, POLLIN, 0 }, { m_tcp, POLLIN, 0 }, { m_stop[0], POLLIN, 0 } };
            if (::poll(fds, 3, -1) < 0 || fds[2].revents)
                return;
            if (fds[0].revents & POLLIN) {
                unsigned char query[512];
                const ssize_t size = ::recv(m_udp, query, sizeof query, 0);
                if (size > 0)
                    Note(NameOf(query, static_cast<size_t>(size)));
            }
            if (fds[1].revents & POLLIN) {
                const int connection = ::accept4(m_tcp, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection >= 0) {
                    m_held.push_back(connection); // held open, never answered
                    Note({});
                }
            }
        }
    }

    // The question's name: length-prefixed labels after the 12-byte header.
    static std::string NameOf(const unsigned char* query, size_t size)
    {
        std::string name;
        for (size_t at = 12; at < size && query[at] != 0 && query[at] < 64; at += query[at] + 1u) {
            if (at + 1 + query[at] > size)
                break;
            if (!name.empty())
                name += '.';
            name.append(reinterpret_cast<const char*>(query) + at + 1, query[at]);
        }
        return name;
    }
    void Note(std::string name)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_seen.push_back({ std::chrono::steady_clock::now(), std::move(name) });
        ++m_queries;
    }

    mutable std::mutex m_lock;
    std::vector<Query> m_seen;
    int m_udp = -1;
    int m_tcp = -1;
    int m_stop[2] = { -1, -1 };
    bool m_listening = false;
    std::atomic<int> m_queries { 0 };
    std::vector<int> m_held;
    std::thread m_thread;
};

} // namespace taluvo::test
