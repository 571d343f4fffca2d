// What the frame's and the program's tests read from outside: the database through the sqlite3
// tool and the toolbar server's port.
#pragma once

#include "tests/support/TestEnvironment.h"

#include <cstdio>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace taluvo::test {

// What a shell command prints on its standard output.
inline std::string CommandOutput(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t read;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, read);
        ::pclose(pipe);
    }
    return output;
}

// Runs SQL through the sqlite3 tool and returns what it prints.
inline std::string Sqlite(const std::string& database, const std::string& sql)
{
    static int counter = 0;
    const std::string script = HomeDir() + "/script" + std::to_string(++counter) + ".sql";
    WriteFile(script, sql);
    std::string output = CommandOutput("sqlite3 -batch '" + database + "' < '" + script + "' 2>&1");
    while (!output.empty() && output.back() == '\n')
        output.pop_back();
    return output;
}

constexpr unsigned short kToolbarPort = 6790;

inline sockaddr_in ToolbarAddress()
{
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(kToolbarPort);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// True when something accepts connections on the toolbar server's port.
inline bool ToolbarPortAnswers()
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = ToolbarAddress();
    const bool connected = ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(sock);
    return connected;
}

} // namespace taluvo::test
