// A web server of a benchmark in a process of its own, so that none of its CPU or memory counts as
// the measured program's: a listener on a free loopback port, and a thread per connection.
#pragma once

#include <cstddef>
#include <string>

#include <sys/types.h>

namespace taluvo::bench {

// Forks a process that serves every connection of a new loopback listener with serve(client,
// context) on a thread of its own (serve closes the socket). Call before any thread starts. The
// listener's port, or -1 with pid untouched.
int StartLoopbackServer(void (*serve)(int client, void* context), void* context, pid_t& pid);

// Reads a request up to the end of its head into request; false (the socket closed) when the
// peer went first.
bool ReadRequestHead(int client, std::string& request);

// A new listener on a free loopback port (a backlog of 256); -1 when none could be had. port gets
// its port.
int OpenLoopbackListener(int& port);

// Sends all bytes; false once the peer has gone.
bool SendAll(int fd, const char* bytes, size_t length);

} // namespace taluvo::bench
