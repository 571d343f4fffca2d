// Another program's lock on a database file: a real SQLite connection of its own, in a process of
// its own, held from construction until Release, or at most `most`.
#pragma once

#include "tests/frame/FrameTestSupport.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace taluvo::test {

class ForeignLock {
public:
    enum class Kind { Exclusive, Read };

    ForeignLock(const TempDir& dir, const std::string& database, std::chrono::seconds most, Kind kind = Kind::Exclusive,
        const std::string& name = "lock")
        : m_state(dir.File(name + "-state"))
        , m_release(dir.File(name + "-release"))
    {
        m_process = std::make_unique<ChildProcess>(std::vector<std::string> { "/usr/bin/python3",
            std::string(TALUVO_SOURCE_DIR) + "/tests/frame/hold_database_lock.py", database, m_state, m_release,
            std::to_string(most.count()), kind == Kind::Read ? "read" : "exclusive" });
    }
    ~ForeignLock() { Release(); }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;

    bool WaitHeld() const { return WaitForFileText(m_state, std::chrono::seconds(30)) == "locked"; }
    bool Held() const { return ReadFile(m_state) == "locked"; }
    bool Release()
    {
        WriteFile(m_release, "");
        return WaitUntil([this] { return ReadFile(m_state) == "released"; }, std::chrono::seconds(30));
    }

private:
    std::string m_state, m_release;
    std::unique_ptr<ChildProcess> m_process;
};

} // namespace taluvo::test
