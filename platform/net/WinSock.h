// The WinSock subset the program is written against, over POSIX sockets, poll and eventfd.
//
// A SOCKET is the file descriptor itself. Failures return SOCKET_ERROR (or INVALID_SOCKET, or a
// null pointer) and leave the WinSock number of the error in WSAGetLastError(): errno is mapped
// (EAGAIN and EINPROGRESS become WSAEWOULDBLOCK 10035, ECONNREFUSED 10061, ECONNRESET 10054, ...).
// Sends never raise SIGPIPE.
//
// The calls whose POSIX namesakes take other argument types (send, recv, connect, ...) live in
// namespace taluvo::net, so a call can never silently reach the POSIX function instead.
//
// Event selection: WSAEventSelect binds a socket's network events to an event of
// platform/base/KernelObjects.h; every wait on that event (WaitForSingleObject,
// WaitForMultipleObjects, together with other events) then also watches the socket and signals
// the event when a selected network event occurs. As in WinSock the events are recorded once and
// re-enabled by the call that consumes them: FD_READ by recv, FD_WRITE by a send that would block,
// FD_ACCEPT by accept; FD_CONNECT and FD_CLOSE occur once.
#pragma once

#include "platform/base/KernelObjects.h"
#include "platform/base/WinTypes.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h> // TCP_NODELAY, which the Windows socket headers offer too
#include <sys/socket.h>

using SOCKET = int;
constexpr SOCKET INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

using WSAEVENT = HANDLE;
inline WSAEVENT const WSA_INVALID_EVENT = nullptr;

using SOCKADDR = sockaddr;
using SOCKADDR_IN = sockaddr_in;
using HOSTENT = hostent;
using SERVENT = servent;

// shutdown directions
constexpr int SD_RECEIVE = 0;
constexpr int SD_SEND = 1;
constexpr int SD_BOTH = 2;

// Network events of WSAEventSelect and their bit numbers in WSANETWORKEVENTS::iErrorCode.
constexpr int FD_READ_BIT = 0;
constexpr int FD_WRITE_BIT = 1;
constexpr int FD_OOB_BIT = 2;
constexpr int FD_ACCEPT_BIT = 3;
constexpr int FD_CONNECT_BIT = 4;
constexpr int FD_CLOSE_BIT = 5;
constexpr int FD_MAX_EVENTS = 10;
constexpr LONG FD_READ = 1 << FD_READ_BIT;
constexpr LONG FD_WRITE = 1 << FD_WRITE_BIT;
constexpr LONG FD_OOB = 1 << FD_OOB_BIT;
constexpr LONG FD_ACCEPT = 1 << FD_ACCEPT_BIT;
constexpr LONG FD_CONNECT = 1 << FD_CONNECT_BIT;
constexpr LONG FD_CLOSE = 1 << FD_CLOSE_BIT;

struct WSANETWORKEVENTS {
    LONG lNetworkEvents;
    int iErrorCode[FD_MAX_EVENTS];
};

struct WSADATA {
    WORD wVersion;
    WORD wHighVersion;
    char szDescription[257];
    char szSystemStatus[129];
};

// WinSock error numbers.
constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEFAULT = 10014;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEMFILE = 10024;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAEINPROGRESS = 10036;
constexpr int WSAEALREADY = 10037;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEDESTADDRREQ = 10039;
constexpr int WSAEMSGSIZE = 10040;
constexpr int WSAEPROTOTYPE = 10041;
constexpr int WSAENOPROTOOPT = 10042;
constexpr int WSAEPROTONOSUPPORT = 10043;
constexpr int WSAESOCKTNOSUPPORT = 10044;
constexpr int WSAEOPNOTSUPP = 10045;
constexpr int WSAEPFNOSUPPORT = 10046;
constexpr int WSAEAFNOSUPPORT = 10047;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAEADDRNOTAVAIL = 10049;
constexpr int WSAENETDOWN = 10050;
constexpr int WSAENETUNREACH = 10051;
constexpr int WSAENETRESET = 10052;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOBUFS = 10055;
constexpr int WSAEISCONN = 10056;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETOOMANYREFS = 10059;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSAELOOP = 10062;
constexpr int WSAENAMETOOLONG = 10063;
constexpr int WSAEHOSTDOWN = 10064;
constexpr int WSAEHOSTUNREACH = 10065;
constexpr int WSAEPROCLIM = 10067;
constexpr int WSASYSNOTREADY = 10091;
constexpr int WSAVERNOTSUPPORTED = 10092;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

namespace taluvo::net {

// The WinSock number of an errno value (0 stays 0).
int WSAErrorFromErrno(int error);
// The WinSock number of a getaddrinfo/getservbyname result (EAI_*).
int WSAErrorFromResolver(int eaiError);

// Counts users; nothing needs starting on Linux, but the version is checked as WinSock does.
int WSAStartup(WORD versionRequested, WSADATA* data);
int WSACleanup();

SOCKET socket(int af, int type, int protocol);
int closesocket(SOCKET s);
int shutdown(SOCKET s, int how);
// On a socket selected with WSAEventSelect (non-blocking), a connection that cannot complete at
// once fails with WSAEWOULDBLOCK and is reported later as FD_CONNECT; a refusal then shows as the
// error of the next recv or send.
int connect(SOCKET s, const sockaddr* address, int length);
int bind(SOCKET s, const sockaddr* address, int length);
int listen(SOCKET s, int backlog);
SOCKET accept(SOCKET s, sockaddr* address, int* length);
int send(SOCKET s, const char* buffer, int length, int flags);
int recv(SOCKET s, char* buffer, int length, int flags);
int getsockname(SOCKET s, sockaddr* address, int* length);
int getpeername(SOCKET s, sockaddr* address, int* length);
int setsockopt(SOCKET s, int level, int name, const char* value, int length);

// A dotted IPv4 address in network byte order, INADDR_NONE when the text spells none.
in_addr_t inet_addr(const char* text);
// IPv4 lookup through getaddrinfo. The result lives in storage of the calling thread until its
// next call; null on failure with WSAHOST_NOT_FOUND, WSATRY_AGAIN, WSANO_RECOVERY or WSANO_DATA.
hostent* gethostbyname(const char* name);
// The services database entry (s_port in network byte order), thread storage as above; null when
// there is none.
servent* getservbyname(const char* name, const char* protocol);
int gethostname(char* name, int length);

WSAEVENT WSACreateEvent();
BOOL WSACloseEvent(WSAEVENT event);
// Makes the socket non-blocking and binds the network events of mask to the event; a mask of 0
// cancels the binding (the socket stays non-blocking).
int WSAEventSelect(SOCKET s, WSAEVENT event, LONG mask);
// The network events recorded since the last call (and any that are due now), with their error
// codes; clears the record and resets the event when one is given.
int WSAEnumNetworkEvents(SOCKET s, WSAEVENT event, WSANETWORKEVENTS* events);

} // namespace taluvo::net
