#include "platform/debug/CrashCapture.h"

#include "platform/base/FileWrite.h"
#include "platform/debug/ExceptionCodes.h"
#include "platform/debug/ExceptionSection.h"
#include "platform/debug/SafeText.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <cxxabi.h>
#include <exception>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <typeinfo>
#include <ucontext.h>
#include <unistd.h>

extern char** environ;

namespace taluvo::debug {

namespace {

constexpr int kCrashSignals[] = { SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT };
constexpr size_t kAltStackSize = size_t(128) * 1024;
// How long a crashed thread waits for the helper's report before it writes its own.
constexpr int kHelperAnswerMs = 120 * 1000;

// The record lives in memory shared with the helper when there is one, else in private memory.
CrashRecord* g_record = nullptr;
int g_helperSocket = -1;
std::atomic<pid_t> g_helperPid { 0 };
// The process the helper serves; a child forked from it reports on its own.
pid_t g_servedProcess = 0;
// The thread that is reporting a crash; any other thread that crashes meanwhile waits.
std::atomic<pid_t> g_reportingThread { 0 };
// The thread that left std::terminate, so its SIGABRT is reported as the exception it was.
std::atomic<pid_t> g_terminatingThread { 0 };
bool g_installed = false;
// Text of the fallback report; only the reporting thread touches it.
char g_fallbackText[16 * 1024];

pid_t CurrentThreadId()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

bool WriteByte(int fd, char c)
{
    for (;;) {
        const ssize_t n = send(fd, &c, 1, MSG_NOSIGNAL);
        if (n == 1)
            return true;
        if (n < 0 && errno == EINTR)
            continue;
        return false;
    }
}

// Wakes the helper and waits, bounded, for its answer. True when it wrote the report.
bool AskHelper()
{
    const int fd = g_helperSocket;
    if (fd < 0 || getpid() != g_servedProcess || !WriteByte(fd, 'C'))
        return false;
    pollfd p { fd, POLLIN, 0 };
    for (;;) {
        const int n = poll(&p, 1, kHelperAnswerMs);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        char answer = 0;
        const ssize_t got = read(fd, &answer, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got == 1)
            return answer == 'W';
        break;
    }
    // No answer: a helper that hangs must not keep the report from being written.
    const pid_t helper = g_helperPid.load();
    if (helper > 0)
        kill(helper, SIGKILL);
    return false;
}

void WriteFallbackReport(const CrashRecord& record)
{
    const int fd = open(record.reportPath, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, taluvo::kUserFileMode);
    if (fd < 0)
        return;
    SafeText text(g_fallbackText, sizeof(g_fallbackText));
    FormatExceptionSection(record, getpid(), text);
    text.Append(kReportEndMarker);
    WriteUtf16(fd, text.Text(), text.Length());
    fsync(fd);
    close(fd);
}

void FillRecord(CrashRecord& r, int signalNumber, const siginfo_t* info, const ucontext_t* context, pid_t tid)
{
    r.magic = kCrashRecordMagic;
    r.signalNumber = signalNumber;
    r.signalCode = info ? info->si_code : 0;
    r.processId = getpid();
    r.threadId = tid;
    r.dataAddress = info ? reinterpret_cast<uint64_t>(info->si_addr) : 0;
    for (int i = 0; i < kRegisterCount && i < NGREG; ++i)
        r.registers[i] = context ? static_cast<uint64_t>(context->uc_mcontext.gregs[i]) : 0;
    uint16_t ds = 0, es = 0;
    asm volatile("mov %%ds, %0" : "=r"(ds));
    asm volatile("mov %%es, %0" : "=r"(es));
    r.segDs = ds;
    r.segEs = es;
    r.faultAddress = r.registers[kRip];
    if (signalNumber == SIGABRT && g_terminatingThread.load() == tid)
        r.exceptionCode = kExceptionCpp;
    else
        r.exceptionCode = ExceptionCodeForSignal(signalNumber, r.signalCode, r.dataAddress, r.registers[kRsp]);
    if (r.exceptionCode != kExceptionCpp)
        r.exceptionText[0] = '\0';
}

void EndWithDefaultAction(int signalNumber)
{
    struct sigaction action;
    memset(&action, 0, sizeof(action));
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
    // Blocked while the handler runs; delivered with the default action once it returns (a
    // fault would also just happen again).
    raise(signalNumber);
}

void CrashSignalHandler(int signalNumber, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    const pid_t tid = CurrentThreadId();
    pid_t expected = 0;
    if (!g_reportingThread.compare_exchange_strong(expected, tid)) {
        if (expected == tid) {
            // The report itself crashed: give up on it.
            EndWithDefaultAction(signalNumber);
            errno = savedErrno;
            return;
        }
        // Another thread is writing its report; the process ends when it is done.
        for (;;)
            pause();
    }
    CrashRecord& record = *g_record;
    FillRecord(record, signalNumber, info, static_cast<const ucontext_t*>(context), tid);
    if (!AskHelper())
        WriteFallbackReport(record);
    EndWithDefaultAction(signalNumber);
    errno = savedErrno;
}

void AppendTypeName(const std::type_info* type, SafeText& text)
{
    if (!type)
        return;
    int status = 0;
    char* name = abi::__cxa_demangle(type->name(), nullptr, nullptr, &status);
    text.Append(status == 0 && name ? name : type->name());
    free(name);
}

// "type: message" of the exception that is leaving through std::terminate.
void DescribeCurrentException(char* out, size_t capacity)
{
    SafeText text(out, capacity);
    std::exception_ptr current = std::current_exception();
    if (!current)
        return;
    try {
        std::rethrow_exception(current);
    } catch (const std::exception& e) {
        AppendTypeName(&typeid(e), text);
        text.Append(": ").Append(e.what());
    } catch (...) {
        AppendTypeName(abi::__cxa_current_exception_type(), text);
    }
}

[[noreturn]] void OnTerminate()
{
    if (g_record && g_reportingThread.load() == 0) {
        // Only this thread writes the text until its abort is reported.
        static std::atomic<bool> described { false };
        if (!described.exchange(true)) {
            DescribeCurrentException(g_record->exceptionText, sizeof(g_record->exceptionText));
            g_terminatingThread.store(CurrentThreadId());
        }
    }
    abort();
}

struct AltStack {
    void* memory = nullptr;
    ~AltStack()
    {
        if (!memory)
            return;
        stack_t off;
        memset(&off, 0, sizeof(off));
        off.ss_flags = SS_DISABLE;
        sigaltstack(&off, nullptr);
        munmap(memory, kAltStackSize + 4096);
    }
};

// Moves a descriptor above the range the helper's channel uses, close-on-exec.
int MoveHigh(int fd)
{
    const int high = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return high;
}

pid_t StartHelper(const std::string& helperPath, int* socketOut, CrashRecord** recordOut)
{
    if (helperPath.empty() || access(helperPath.c_str(), X_OK) != 0)
        return 0;
    int shared = memfd_create("taluvo-crash", MFD_CLOEXEC);
    if (shared < 0)
        return 0;
    shared = MoveHigh(shared);
    if (shared < 0 || ftruncate(shared, sizeof(CrashRecord)) != 0) {
        if (shared >= 0)
            close(shared);
        return 0;
    }
    void* memory = mmap(nullptr, sizeof(CrashRecord), PROT_READ | PROT_WRITE, MAP_SHARED, shared, 0);
    int pair[2];
    if (memory == MAP_FAILED || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
        if (memory != MAP_FAILED)
            munmap(memory, sizeof(CrashRecord));
        close(shared);
        return 0;
    }
    pair[0] = MoveHigh(pair[0]);
    pair[1] = MoveHigh(pair[1]);
    if (pair[0] < 0 || pair[1] < 0) {
        for (int fd : pair) {
            if (fd >= 0)
                close(fd);
        }
        munmap(memory, sizeof(CrashRecord));
        close(shared);
        return 0;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pair[1], kHelperSocketFd);
    posix_spawn_file_actions_adddup2(&actions, shared, kHelperSharedFd);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Its own process group: a Ctrl+C meant for the program must not take the helper first.
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
    char pidText[32];
    SafeText pidArgument(pidText, sizeof(pidText));
    pidArgument.AppendDecimal(getpid());
    char* argv[] = { const_cast<char*>(helperPath.c_str()), const_cast<char*>(kHelperServeArgument), pidText, nullptr };
    pid_t helper = 0;
    const int spawned = posix_spawn(&helper, helperPath.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(pair[1]);
    close(shared);
    if (spawned != 0) {
        close(pair[0]);
        munmap(memory, sizeof(CrashRecord));
        return 0;
    }
    // The helper reads this process's memory and registers; where the kernel restricts tracing
    // to ancestors, this lets the child do it.
    prctl(PR_SET_PTRACER, helper, 0, 0, 0);
    *socketOut = pair[0];
    *recordOut = static_cast<CrashRecord*>(memory);
    return helper;
}

void StopHelper()
{
    if (g_helperSocket >= 0) {
        close(g_helperSocket); // the helper sees the end of the channel and exits
        g_helperSocket = -1;
    }
    const pid_t helper = g_helperPid.exchange(0);
    if (helper > 0)
        waitpid(helper, nullptr, 0);
}

} // namespace

bool InstallCrashCapture(const CrashCaptureOptions& options)
{
    StopHelper();
    CrashRecord* shared = nullptr;
    int socket = -1;
    const pid_t helper = StartHelper(options.helperPath, &socket, &shared);
    static CrashRecord privateRecord;
    CrashRecord* record = helper > 0 ? shared : &privateRecord;
    memset(record, 0, sizeof(*record));
    SafeText path(record->reportPath, sizeof(record->reportPath));
    path.Append(options.reportPath.c_str());
    // Publish the record before the handler can see the socket.
    g_servedProcess = getpid();
    g_record = record;
    g_helperSocket = socket;
    g_helperPid.store(helper);

    PrepareThreadForCrashes();
    if (!g_installed) {
        struct sigaction action;
        memset(&action, 0, sizeof(action));
        action.sa_sigaction = CrashSignalHandler;
        action.sa_flags = SA_SIGINFO | SA_ONSTACK;
        sigemptyset(&action.sa_mask);
        for (int signalNumber : kCrashSignals)
            sigaction(signalNumber, &action, nullptr);
        std::set_terminate(OnTerminate);
        g_installed = true;
    }
    return helper > 0;
}

void PrepareThreadForCrashes()
{
    thread_local AltStack altStack;
    if (altStack.memory)
        return;
    stack_t current;
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE)
        && current.ss_size >= kCrashStackMinimum)
        return; // someone gave this thread a stack already
    // One page below the stack stays inaccessible, so a handler that overruns it faults.
    void* memory
        = mmap(nullptr, kAltStackSize + 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED)
        return;
    mprotect(memory, 4096, PROT_NONE);
    stack_t stack;
    memset(&stack, 0, sizeof(stack));
    stack.ss_sp = static_cast<char*>(memory) + 4096;
    stack.ss_size = kAltStackSize;
    if (sigaltstack(&stack, nullptr) != 0) {
        munmap(memory, kAltStackSize + 4096);
        return;
    }
    altStack.memory = memory;
}

pid_t CrashHelperProcess()
{
    return g_helperPid.load();
}

CrashHelperChannel::~CrashHelperChannel()
{
    if (m_shared)
        munmap(m_shared, sizeof(CrashRecord));
    if (m_socket >= 0)
        close(m_socket);
}

bool CrashHelperChannel::Open(int socketFd, int sharedFd)
{
    void* memory = mmap(nullptr, sizeof(CrashRecord), PROT_READ | PROT_WRITE, MAP_SHARED, sharedFd, 0);
    if (memory == MAP_FAILED)
        return false;
    close(sharedFd);
    fcntl(socketFd, F_SETFD, FD_CLOEXEC);
    m_shared = static_cast<CrashRecord*>(memory);
    m_socket = socketFd;
    return true;
}

bool CrashHelperChannel::WaitForCrash()
{
    for (;;) {
        char request = 0;
        const ssize_t n = read(m_socket, &request, 1);
        if (n < 0 && errno == EINTR)
            continue;
        if (n != 1)
            return false;
        if (request != 'C')
            continue;
        memcpy(&m_copy, m_shared, sizeof(m_copy));
        m_copy.exceptionText[sizeof(m_copy.exceptionText) - 1] = '\0';
        m_copy.reportPath[sizeof(m_copy.reportPath) - 1] = '\0';
        return m_copy.magic == kCrashRecordMagic;
    }
}

void CrashHelperChannel::Answer(bool reportWritten)
{
    WriteByte(m_socket, reportWritten ? 'W' : 'F');
}

} // namespace taluvo::debug
