// A program killed with SIGKILL while it writes check results, or while it goes through its exit,
// leaves a sound database that holds every result it had reported committed and the settings row
// exactly as before. The writer is a probe that opens the database as the program does and writes
// through the program's own result path.
#include "tests/core/db/DbTestSupport.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

using taluvo::test::FileMode;
using taluvo::test::Sqlite3;
using taluvo::test::TempDir;

namespace {

constexpr int kPages = 20;

// The probe with its standard input and output on pipes; killed and reaped on destruction.
class CProbe {
public:
    explicit CProbe(const std::vector<std::string>& args)
    {
        int in[2];
        int out[2];
        if (::pipe(in) != 0 || ::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(in[0], 0);
            ::dup2(out[1], 1);
            ::close(in[1]);
            ::close(out[0]);
            std::vector<std::string> all { TALUVO_RESULT_WRITE_PROBE };
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            argv.reserve(all.size() + 1);
            for (std::string& a : all)

                argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
        ::close(in[0]);
        ::close(out[1]);
        m_in = in[1];
        m_out = out[0];
    }
    ~CProbe()
    {
        Kill();
        ::close(m_in);
        ::close(m_out);
    }
    CProbe(const CProbe&) = delete;
    CProbe& operator=(const CProbe&) = delete;

    // The next line of output without its newline; empty when the probe ended or the bound passed.
    std::string ReadLine()
    {
        for (;;) {
            const size_t newline = m_buffer.find('\n');
            if (newline != std::string::npos) {
                std::string line = m_buffer.substr(0, newline);
                m_buffer.erase(0, newline + 1);
                Note(line);
                return line;
            }
            pollfd ready { m_out, POLLIN, 0 };
            if (::poll(&ready, 1, 30000) <= 0 || !Fill())
                return {};
        }
    }
    void Send(const std::string& line) { (void)!::write(m_in, (line + "\n").c_str(), line.size() + 1); }
    // SIGKILL, then everything it wrote before it died.
    void Kill()
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        Reap();
        while (Fill()) { }
        while (!ReadLine().empty()) { }
    }
    // Its exit status once it ended by itself; -1 after a signal.
    int Wait()
    {
        Reap();
        return WIFEXITED(m_status) ? WEXITSTATUS(m_status) : -1;
    }
    // The largest value reported committed for each page.
    const std::map<int, long long>& Committed() const { return m_committed; }

private:
    bool Fill()
    {
        char chunk[4096];
        const ssize_t n = ::read(m_out, chunk, sizeof chunk);
        if (n <= 0)
            return false;
        m_buffer.append(chunk, static_cast<size_t>(n));
        return true;
    }
    void Note(const std::string& line)
    {
        std::istringstream words(line);
        std::string word;
        int page = 0;
        long long value = 0;
        if (words >> word >> page >> value && word == "committed")
            m_committed[page] = std::max(m_committed[page], value);
    }
    void Reap()
    {
        if (m_pid > 0)
            ::waitpid(m_pid, &m_status, 0);
        m_pid = -1;
    }

    pid_t m_pid = -1;
    int m_status = 0;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
    std::map<int, long long> m_committed;
};

class ResultKill : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_path = m_dir.File("database.db");
        CProbe prepare({ m_path, "prepare", std::to_string(kPages) });
        ASSERT_EQ(prepare.ReadLine(), "closed");
        ASSERT_EQ(prepare.Wait(), 0);
        m_settings = Sqlite3(m_path, "SELECT hex(blobPrefs) FROM PREFS;");
        ASSERT_GT(m_settings.size(), 100u) << m_settings;
    }

    // What a killed probe must have left: a sound file, each page at least at the last value
    // reported for it (a later write may have committed unreported), every row whole, the settings
    // row unchanged. Values of earlier runs count too: nothing may go back.
    void ExpectKept(const CProbe& probe)
    {
        for (const auto& [page, value] : probe.Committed())
            m_reported[page] = std::max(m_reported[page], value);
        EXPECT_EQ(Sqlite3(m_path, "PRAGMA integrity_check;"), "ok\n");
        std::istringstream rows(
            Sqlite3(m_path, "SELECT id, IFNULL(lastChecked, -1), IFNULL(checkSum, -1) FROM PAGES ORDER BY id;"));
        std::string row;
        int seen = 0;
        while (std::getline(rows, row)) {
            int page = 0;
            long long value = 0;
            long long checksum = 0;
            char bar = 0;
            std::istringstream fields(row);
            ASSERT_TRUE(fields >> page >> bar >> value >> bar >> checksum) << row;
            ++seen;
            if (m_reported.count(page))
                EXPECT_GE(value, m_reported[page]) << "page " << page;
            else if (value == -1)
                continue; // never checked
            EXPECT_EQ(value % kPages + 1, page) << row;
            EXPECT_EQ(static_cast<uint32_t>(checksum), static_cast<uint32_t>(value) * 2654435761u) << row;
        }
        EXPECT_EQ(seen, kPages);
        EXPECT_EQ(Sqlite3(m_path, "SELECT hex(blobPrefs) FROM PREFS;"), m_settings);
    }

    TempDir m_dir;
    std::string m_path;
    std::string m_settings;
    std::map<int, long long> m_reported;
};

} // namespace

// Killed after a few results, after many, and around the log's automatic copy into the database
// file (about a thousand small writes), each run starting from what the last one left.
TEST_F(ResultKill, EveryReportedResultSurvivesAKill)
{
    for (const int results : { 1, 40, 400, 1100, 2600 }) {
        SCOPED_TRACE(results);
        CProbe probe({ m_path, "results" });
        for (int n = 0; n < results; ++n)
            ASSERT_EQ(probe.ReadLine().rfind("committed ", 0), 0u) << "after " << n;
        probe.Kill();
        ASSERT_GE(static_cast<int>(probe.Committed().size()), std::min(results, kPages));
        ExpectKept(probe);
    }
}

// Killed before each step of the exit, and again with the step just under way; the next run ends
// cleanly with one file.
TEST_F(ResultKill, AKillDuringTheExitLosesNothing)
{
    struct SCase {
        const char* step;
        bool underWay; // the step was released just before the kill
    };
    const SCase cases[] = {
        { "settings", false },
        { "settings", true },
        { "log", false },
        { "log", true },
        { "compact", false },
        { "compact", true },
        { "close", false },
        { "close", true },
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.step) + (c.underWay ? " under way" : " before"));
        CProbe probe({ m_path, "exit", "60" });
        for (std::string line = probe.ReadLine();; line = probe.ReadLine()) {
            ASSERT_FALSE(line.empty());
            if (line.rfind("step ", 0) != 0)
                continue;
            if (line == std::string("step ") + c.step) {
                if (c.underWay)
                    probe.Send("go");
                probe.Kill();
                break;
            }
            probe.Send("go");
        }
        ExpectKept(probe);
    }

    CProbe last({ m_path, "exit", "60" });
    for (std::string line = last.ReadLine(); line != "closed"; line = last.ReadLine()) {
        ASSERT_FALSE(line.empty());
        if (line.rfind("step ", 0) == 0)
            last.Send("go");
    }
    EXPECT_EQ(last.Wait(), 0);
    EXPECT_EQ(FileMode(m_path + "-wal"), -1);
    EXPECT_EQ(FileMode(m_path + "-shm"), -1);
    EXPECT_EQ(Sqlite3(m_path, "PRAGMA journal_mode;"), "delete\n");
    ExpectKept(last);
}
