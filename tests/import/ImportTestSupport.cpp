#include "tests/import/ImportTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

namespace taluvo::test {

std::string ImportTestFile(const std::string& name)
{
    return std::string(TALUVO_IMPORT_TEST_DIR) + "/" + name;
}

CHomeOverride::CHomeOverride(const std::string& home)
{
    if (const char* old = std::getenv("HOME"))
        m_old = old;
    setenv("HOME", home.c_str(), 1);
}

CHomeOverride::~CHomeOverride()
{
    if (m_old)
        setenv("HOME", m_old->c_str(), 1);
    else
        unsetenv("HOME");
}

void PrintTo(const SIniOutcome& outcome, std::ostream* os)
{
    *os << "{code " << outcome.code << ", line " << outcome.line << ", parameter \"" << outcome.parameter << "\"}";
}

SIniOutcome ParseIni(IniParser::CIniFile& file, const std::string& text)
{
    std::istringstream in(text);
    try {
        file.Parse(in);
    } catch (IniParser::CException* e) {
        std::unique_ptr<IniParser::CException> owned(e);
        return { e->m_nCode, e->m_nLine, e->m_pParameter ? e->m_pParameter->m_strName : std::string() };
    }
    return {};
}

QJsonDocument RunPythonJson(const std::string& script, const QStringList& arguments)
{
    // A plain fork: Qt's process start clones without the thread sanitizer seeing it, which
    // leaves the sanitizer reporting races that do not exist.
    std::vector<std::string> argv = { "/usr/bin/python3", ImportTestFile(script) };
    for (const QString& argument : arguments)
        argv.push_back(argument.toStdString());
    std::vector<char*> pointers;
    pointers.reserve(argv.size() + 1);
    for (std::string& a : argv)

        pointers.push_back(a.data());
    pointers.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        close(out[0]);
        close(out[1]);
        execv(pointers[0], pointers.data());
        _exit(127);
    }
    close(out[1]);
    QByteArray output;
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(out[0], buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        output.append(buffer, got);
    }
    close(out[0]);
    int status = 0;
    EXPECT_EQ(child > 0 ? waitpid(child, &status, 0) : -1, child) << "python could not be started";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "python failed: status " << status;
    QJsonParseError error {};
    QJsonDocument document = QJsonDocument::fromJson(output, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document;
}

} // namespace taluvo::test
