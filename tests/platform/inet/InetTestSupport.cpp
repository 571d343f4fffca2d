#include "tests/platform/inet/InetTestSupport.h"

#include "platform/base/KernelObjects.h"

#include <algorithm>

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace taluvo::test {
namespace {

pid_t Spawn(const std::vector<std::string>& argv, int stdoutFd)
{
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const std::string& a : argv)

        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (stdoutFd >= 0)
        posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

} // namespace

int RunCommand(const std::vector<std::string>& argv)
{
    const pid_t pid = Spawn(argv, -1);
    if (pid < 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PeerProcess::PeerProcess(const std::vector<std::string>& args)
{
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe");
    std::vector<std::string> argv { "/usr/bin/python3", TEST_SERVERS_PY };
    argv.insert(argv.end(), args.begin(), args.end());
    m_pid = Spawn(argv, fds[1]);
    close(fds[1]);
    std::string line;
    pollfd p { fds[0], POLLIN, 0 };
    while (m_pid > 0 && line.find('\n') == std::string::npos && poll(&p, 1, 15000) > 0) {
        char buffer[64];
        const ssize_t n = read(fds[0], buffer, sizeof(buffer));
        if (n <= 0)
            break;
        line.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    m_port = std::atoi(line.c_str());
    if (m_port <= 0)
        throw std::runtime_error("test peer did not start: " + args.front());
}

PeerProcess::~PeerProcess()
{
    if (m_pid > 0) {
        kill(m_pid, SIGKILL);
        waitpid(m_pid, nullptr, 0);
    }
}

TestCertificate MakeCertificate(const std::string& folder, const std::string& name, const std::string& altNames)
{
    TestCertificate result { folder + "/" + name + ".pem", folder + "/" + name + ".key" };
    const int rc = RunCommand({ "openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
        "-nodes", "-keyout", result.key, "-out", result.cert, "-days", "2", "-subj", "/CN=" + name, "-addext",
        "subjectAltName=" + altNames });
    if (rc != 0)
        throw std::runtime_error("openssl could not make a certificate");
    return result;
}

QByteArray Pattern(int size)
{
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251) % 256);
    return bytes;
}

int RefusedPort()
{
    // Bind a port and close it again: nothing listens there afterwards.
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0)
        throw std::system_error(errno, std::generic_category(), "binding a loopback port");

    socklen_t length = sizeof(address);
    getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    close(fd);
    return ntohs(address.sin_port);
}

Recorder::~Recorder()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait_for(guard, std::chrono::seconds(10), [this] {
        const auto count = [this](DWORD status) {
            return std::count_if(
                m_notices.begin(), m_notices.end(), [status](const Notice& n) { return n.status == status; });
        };
        return count(INTERNET_STATUS_HANDLE_CLOSING) >= count(INTERNET_STATUS_HANDLE_CREATED);
    });
}

void Recorder::Callback(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length)
{
    auto* self = reinterpret_cast<Recorder*>(context);
    Notice notice { status, 0, 0, std::this_thread::get_id() };
    if (status == INTERNET_STATUS_REQUEST_COMPLETE && info && length >= sizeof(INTERNET_ASYNC_RESULT)) {
        const auto* result = static_cast<const INTERNET_ASYNC_RESULT*>(info);
        notice.result = result->dwResult;
        notice.error = result->dwError;
    }
    std::lock_guard<std::mutex> guard(self->m_lock);
    self->m_notices.push_back(notice);
    self->m_changed.notify_all();
}

bool Recorder::WaitCompletion(INTERNET_ASYNC_RESULT& result, std::chrono::milliseconds bound)
{
    std::unique_lock<std::mutex> guard(m_lock);
    size_t seen = 0;
    auto next = [&] {
        seen = 0;
        for (const Notice& n : m_notices) {
            if (n.status == INTERNET_STATUS_REQUEST_COMPLETE && ++seen > m_taken) {
                result = { n.result, n.error };
                return true;
            }
        }
        return false;
    };
    if (!m_changed.wait_for(guard, bound, next))
        return false;
    ++m_taken;
    return true;
}

std::vector<Notice> Recorder::Notices()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_notices;
}

std::vector<DWORD> Recorder::Statuses()
{
    std::vector<DWORD> statuses;
    for (const Notice& n : Notices())
        statuses.push_back(n.status);
    return statuses;
}

QByteArray FetchResult::Body() const
{
    QByteArray body;
    for (const QByteArray& piece : pieces)
        body += piece;
    return body;
}

HINTERNET OpenAsyncSession(DWORD accessType, const QString& proxy, const QString& bypass)
{
    const QString agent = QStringLiteral("TaluvoTest");
    HINTERNET session = InternetOpen(reinterpret_cast<LPCWSTR>(agent.utf16()), accessType,
        proxy.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(proxy.utf16()),
        bypass.isEmpty() ? nullptr : reinterpret_cast<LPCWSTR>(bypass.utf16()), INTERNET_FLAG_ASYNC);
    if (session)
        InternetSetStatusCallback(session, &Recorder::Callback);
    return session;
}

FetchResult Fetch(HINTERNET session, Recorder& recorder, const FetchOptions& options)
{
    FetchResult out;
    const auto context = reinterpret_cast<DWORD_PTR>(&recorder);
    HINTERNET connect = InternetConnect(session, reinterpret_cast<LPCWSTR>(options.host.utf16()),
        static_cast<INTERNET_PORT>(options.port), nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, context);
    if (!connect) {
        out.error = GetLastError();
        return out;
    }
    LPCWSTR accept[] = { u"text/*", nullptr };
    const DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI
        | INTERNET_FLAG_HYPERLINK | (options.secure ? INTERNET_FLAG_SECURE : 0);
    HINTERNET request = HttpOpenRequest(
        connect, u"GET", reinterpret_cast<LPCWSTR>(options.object.utf16()), nullptr, nullptr, accept, flags, context);
    auto finish = [&](DWORD error) {
        if (!out.error)
            out.error = error;
        if (request)
            InternetCloseHandle(request);
        InternetCloseHandle(connect);
        return out;
    };
    if (!request)
        return finish(GetLastError());
    if (options.prepare)
        options.prepare(request);
    // Both steps complete through the callback.
    auto step = [&](bool sendStep, bool& wasPending) -> DWORD {
        const BOOL ok = sendStep ? HttpSendRequestEx(request, nullptr, nullptr, HSR_ASYNC, context)
                                 : HttpEndRequest(request, nullptr, HSR_ASYNC | HSR_INITIATE, context);
        if (ok)
            return 0;
        if (GetLastError() != ERROR_IO_PENDING)
            return GetLastError();
        wasPending = true;
        INTERNET_ASYNC_RESULT result {};
        if (!recorder.WaitCompletion(result))
            return 0xFFFFFFFF;
        return result.dwError;
    };
    if (DWORD error = step(true, out.sendWasPending))
        return finish(error);
    if (DWORD error = step(false, out.endWasPending))
        return finish(error);
    DWORD code = 0, size = sizeof(code);
    if (HttpQueryInfo(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &code, &size, nullptr))
        out.statusCode = code;
    if (options.inspect)
        options.inspect(request);
    std::vector<char> buffer(options.pieceSize);
    for (;;) {
        INTERNET_BUFFERSA piece {};
        piece.dwStructSize = sizeof(piece);
        piece.lpvBuffer = buffer.data();
        piece.dwBufferLength = options.pieceSize;
        if (InternetReadFileExA(request, &piece, IRF_ASYNC | IRF_NO_WAIT, context)) {
            if (piece.dwBufferLength == 0)
                break;
            out.pieces.emplace_back(buffer.data(), static_cast<qsizetype>(piece.dwBufferLength));
            continue;
        }
        if (GetLastError() != ERROR_IO_PENDING)
            return finish(GetLastError());
        INTERNET_ASYNC_RESULT result {};
        if (!recorder.WaitCompletion(result))
            return finish(0xFFFFFFFF);
    }
    return finish(0);
}

} // namespace taluvo::test
