// Socket pieces of the scripted peers the suites run on loopback (page and mail servers): one
// listening socket, and line-wise talk the way those text protocols go.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace taluvo::test {

// A listening TCP socket on 127.0.0.1 (port 0: any free one); -1 when the port cannot be had.
int ListenOnLoopback(uint16_t port);

// The local port of a bound socket.
uint16_t LocalPortOf(int socket);

// What ReadPeerLine returns once the other side has closed the connection: no line of a text
// protocol can hold it.
extern const std::string kPeerClosed;

// One line without its CR LF.
std::string ReadPeerLine(int fd);

// Sends the text, never raising SIGPIPE when the other side is gone.
void SayToPeer(int fd, std::string_view text);

} // namespace taluvo::test
