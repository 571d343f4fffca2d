#include "bench/support/LoopbackServerProcess.h"

#include <csignal>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace taluvo::bench {

int OpenLoopbackListener(int& port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
        || ::listen(listener, 256) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return -1;
    }
    port = ntohs(address.sin_port);
    return listener;
}

int StartLoopbackServer(void (*serve)(int client, void* context), void* context, pid_t& pid)
{
    int port = -1;
    const int listener = OpenLoopbackListener(port);
    if (listener < 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGPIPE, SIG_IGN);
        for (;;) {
            const int client = ::accept(listener, nullptr, nullptr);
            if (client >= 0)
                std::thread(serve, client, context).detach();
        }
    }
    ::close(listener);
    if (child < 0)
        return -1;
    pid = child;
    return port;
}

bool ReadRequestHead(int client, std::string& request)
{
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) {
            ::close(client);
            return false;
        }
        request.append(buffer, static_cast<size_t>(n));
    }
    return true;
}

bool SendAll(int fd, const char* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t sent = ::send(fd, bytes, length, MSG_NOSIGNAL);
        if (sent <= 0)
            return false;
        bytes += sent;
        length -= static_cast<size_t>(sent);
    }
    return true;
}

} // namespace taluvo::bench
