// Peers and a fetch driver for the internet layer's tests.
#pragma once

#include "platform/inet/WinInet.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace taluvo::test {

// Runs a program to its end; its exit status (-1 when it could not run).
int RunCommand(const std::vector<std::string>& argv);

// One of test_servers.py's peers, on a free loopback port; killed on destruction.
class PeerProcess {
public:
    explicit PeerProcess(const std::vector<std::string>& args);
    ~PeerProcess();
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

// A self-signed certificate and key made with openssl for the given subjectAltName.
struct TestCertificate {
    std::string cert;
    std::string key;
};
TestCertificate MakeCertificate(const std::string& folder, const std::string& name, const std::string& altNames);

// The bytes test_servers.py sends for a body of the given size.
QByteArray Pattern(int size);

// A port nothing listens on.
int RefusedPort();

struct Notice {
    DWORD status;
    DWORD_PTR result; // REQUEST_COMPLETE
    DWORD error; // REQUEST_COMPLETE
    std::thread::id thread;
};

// The status callback's record; a Recorder* is the context of every handle of a fetch.
class Recorder {
public:
    Recorder() = default;
    // A closing notice held back by a notice still running comes from another thread after the
    // handle was closed: the record waits (bounded) for every handle it saw made to close.
    ~Recorder();
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;
    static void Callback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length);
    // Waits for the next REQUEST_COMPLETE not yet taken; false when none came within the bound.
    bool WaitCompletion(INTERNET_ASYNC_RESULT& result, std::chrono::milliseconds bound = std::chrono::seconds(10));
    std::vector<Notice> Notices();
    std::vector<DWORD> Statuses();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Notice> m_notices;
    size_t m_taken = 0;
};

struct FetchResult {
    DWORD error = 0; // the first failure, 0 when none
    DWORD statusCode = 0; // HttpQueryInfo after the end of the request
    std::vector<QByteArray> pieces;
    QByteArray Body() const;
    bool sendWasPending = false;
    bool endWasPending = false;
};

struct FetchOptions {
    QString host = QStringLiteral("127.0.0.1");
    int port = 0;
    QString object = QStringLiteral("/");
    bool secure = false;
    DWORD pieceSize = 4095;
    // Runs on the request handle before it is sent.
    std::function<void(HINTERNET request)> prepare;
    // Runs after the end of the request, while the handle is open.
    std::function<void(HINTERNET request)> inspect;
};

// Drives one GET the way the fetch worker does: connect, open, send and end (both completing
// through the callback), then reads in pieces of pieceSize, waiting for pending reads.
FetchResult Fetch(HINTERNET session, Recorder& recorder, const FetchOptions& options);

// A session in asynchronous mode with the recorder's callback.
HINTERNET OpenAsyncSession(
    DWORD accessType = INTERNET_OPEN_TYPE_DIRECT, const QString& proxy = QString(), const QString& bypass = QString());

} // namespace taluvo::test
