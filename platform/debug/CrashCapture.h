// Capture of crashes in the program, and the channel over which the crash helper serves it.
//
// The program installs one signal handler for the crash signals (SIGSEGV, SIGBUS, SIGILL,
// SIGFPE, SIGTRAP, SIGABRT) and a std::terminate handler. The handler runs on an alternate stack
// (so a stack overflow can still be reported) and does only async-signal-safe work: it records
// the signal, the thread and its registers in memory it shares with the helper process, wakes
// the helper over a socket pair and waits for its answer. The helper, started here when the
// program starts and allowed to trace the program, writes the report. When no helper answers,
// the handler writes the exception and register part of the report itself. Either way the
// process then ends with the signal's default action.
#pragma once

#include "platform/debug/CrashRecord.h"

#include <string>
#include <sys/types.h>

namespace taluvo::debug {

struct CrashCaptureOptions {
    // The report file (bytes of the path, as the file system takes them).
    std::string reportPath;
    // The helper executable; empty or missing means the in-process report only.
    std::string helperPath;
};

// Installs the handlers for the process and the calling thread's alternate stack, and starts the
// helper. Returns true when the helper was started. Calling it again replaces the options.
bool InstallCrashCapture(const CrashCaptureOptions& options);

// Gives the calling thread its alternate signal stack (once; released when the thread ends).
// Every thread the program starts calls it first. A stack the thread has already (a sanitizer's)
// is kept when it holds at least kCrashStackMinimum bytes.
void PrepareThreadForCrashes();
inline constexpr size_t kCrashStackMinimum = size_t(32) * 1024;

// The helper's process id while it runs; 0 when there is none.
pid_t CrashHelperProcess();

// In the helper: the channel the program handed over (the socket on descriptor 3, the shared
// record on descriptor 4).
class CrashHelperChannel {
public:
    CrashHelperChannel() = default;
    ~CrashHelperChannel();
    CrashHelperChannel(const CrashHelperChannel&) = delete;
    CrashHelperChannel& operator=(const CrashHelperChannel&) = delete;

    bool Open(int socketFd = 3, int sharedFd = 4);
    // Blocks until the program reports a crash (true) or ends without one (false).
    bool WaitForCrash();
    // A copy of the record the crashing thread left.
    const CrashRecord& Record() const { return m_copy; }
    // Lets the crashed thread go on (it then ends the process).
    void Answer(bool reportWritten);

private:
    int m_socket = -1;
    CrashRecord* m_shared = nullptr;
    CrashRecord m_copy {};
};

// Descriptor numbers at which the helper finds the channel.
inline constexpr int kHelperSocketFd = 3;
inline constexpr int kHelperSharedFd = 4;
// The argument that tells the helper it was started by the program.
inline constexpr char kHelperServeArgument[] = "--serve-crashes";

} // namespace taluvo::debug
