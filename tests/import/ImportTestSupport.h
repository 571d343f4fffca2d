// Helpers of the import suites: parsing INI text with the error caught, and running Debian's
// Python on the reference scripts beside the tests.
#pragma once

#include "import/IniParser.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QStringList>

#include <optional>
#include <string>

namespace taluvo::test {

// A fixture file or script of this folder.
std::string ImportTestFile(const std::string& name);

// Points HOME at a folder for the life of the object.
class CHomeOverride {
public:
    explicit CHomeOverride(const std::string& home);
    ~CHomeOverride();
    CHomeOverride(const CHomeOverride&) = delete;
    CHomeOverride& operator=(const CHomeOverride&) = delete;

private:
    std::optional<std::string> m_old;
};

struct SIniOutcome {
    int code = -1; // -1: parsed without error
    int line = 0;
    std::string parameter; // name of the parameter concerned, empty when none

    bool operator==(const SIniOutcome&) const = default;
};
void PrintTo(const SIniOutcome& outcome, std::ostream* os);

// Parses the text, catching (and deleting) the parser's exception.
SIniOutcome ParseIni(IniParser::CIniFile& file, const std::string& text);

// Runs /usr/bin/python3 with the script of this folder and the arguments; fails the test when it
// does not exit with 0, and returns its standard output as JSON.
QJsonDocument RunPythonJson(const std::string& script, const QStringList& arguments);

} // namespace taluvo::test
