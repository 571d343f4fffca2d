// Helpers shared by the test suites.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace taluvo::test {

// The folder this test process was given as TALUVO_HOME (created by the test main).
std::string HomeDir();

// A fresh, empty folder below the process's home; removed with its contents on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);

// The permission bits of a file (st_mode & 0777); -1 when it does not exist.
int FileMode(const std::string& path);

// The usual umask (022) while it lives, so that a file created readable by others shows it, and
// programs started meanwhile inherit it.
class UsualUmask {
public:
    UsualUmask();
    ~UsualUmask();
    UsualUmask(const UsualUmask&) = delete;
    UsualUmask& operator=(const UsualUmask&) = delete;

private:
    unsigned m_previous;
};

// A helper program started for a test (a server, a peer); killed and reaped on destruction.
// Started with fork and exec rather than through Qt, whose process start the thread sanitizer
// does not follow.
class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& argv);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    int Pid() const { return m_pid; }

private:
    int m_pid = -1;
};

// Starts argv with this process's environment and the extra entries ("NAME=value", each in place
// of the variable of that name); its standard output and error go to outputFile. The pid, or -1.
int SpawnWithOutput(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnvironment,
    const std::string& outputFile);

// Waits until the file exists and holds text (a server writes its port there); empty on time-out.
std::string WaitForFileText(const std::string& path, std::chrono::milliseconds bound = std::chrono::seconds(15));

// A stand-in program (a browser, xdg-open) at path that writes its argv, $0 first, NUL-separated,
// to the file out once it runs; ReadArgv waits for that file and returns the arguments (empty
// when the program did not run within the bound).
void WriteArgvRecorder(const std::string& path, const std::string& out);
std::vector<std::string> ReadArgv(const std::string& out, std::chrono::milliseconds bound = std::chrono::seconds(10));

// Polls the condition until it holds or the bound passes; true when it held.
bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds bound = std::chrono::seconds(10));

} // namespace taluvo::test
