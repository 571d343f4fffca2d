// A loopback web server for the benchmarks: answers every request on a connection with the same
// page (100 KB unless asked otherwise), keeping connections open, and counts its own CPU time after every answer so a
// benchmark can leave it out.
#pragma once

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <netinet/in.h>
#include <string>

#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace taluvo::bench {

inline double ThreadCpuSeconds()
{
    timespec t {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

inline double ProcessCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
}

class PageServer {
public:
    explicit PageServer(size_t bodyBytes = size_t { 100 } * 1024)
    {
        std::string body;
        while (body.size() < bodyBytes)
            body += "<p>Line of a watched page with some text in it, number " + std::to_string(body.size()) + "</p>\n";
        m_bodyBytes = body.size();
        m_response = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " + std::to_string(body.size())
            + "\r\n\r\n" + body;
        m_listener = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            std::perror("binding the loopback page server");
            std::exit(1);
        }

        listen(m_listener, 64);
        socklen_t length = sizeof address;
        getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~PageServer()
    {
        shutdown(m_listener, SHUT_RDWR);
        close(m_listener);
        m_thread.join();
    }
    int Port() const { return m_port; }
    size_t BodyBytes() const { return m_bodyBytes; }
    double CpuSeconds() const { return m_cpu.load(); }
    // Requests answered so far.
    int Answered() const { return m_answered.load(); }

private:
    void Serve()
    {
        for (;;) {
            const int client = accept(m_listener, nullptr, nullptr);
            if (client < 0)
                break;
            std::thread([this, client] {
                // Counted after every answer, not when the connection closes: a kept-alive
                // connection outlives the benchmark's measurement.
                double start = ThreadCpuSeconds();
                std::string request;
                char buffer[4096];
                for (;;) {
                    const ssize_t n = recv(client, buffer, sizeof buffer, 0);
                    if (n <= 0)
                        break;
                    request.append(buffer, static_cast<size_t>(n));
                    size_t end;
                    while ((end = request.find("\r\n\r\n")) != std::string::npos) {
                        request.erase(0, end + 4);
                        send(client, m_response.data(), m_response.size(), MSG_NOSIGNAL);
                        ++m_answered;
                        const double now = ThreadCpuSeconds();
                        AddCpu(now - start);
                        start = now;
                    }
                }
                close(client);
                AddCpu(ThreadCpuSeconds() - start);
            }).detach();
        }
    }
    void AddCpu(double seconds)
    {
        double current = m_cpu.load();
        while (!m_cpu.compare_exchange_weak(current, current + seconds)) { }
    }

    std::string m_response;
    size_t m_bodyBytes = 0;
    int m_listener = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<double> m_cpu { 0.0 };
    std::atomic<int> m_answered { 0 };
};

} // namespace taluvo::bench
