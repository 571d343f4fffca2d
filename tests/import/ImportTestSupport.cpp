#include "tests/import/ImportTestSupport.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <sstream>

namespace taluvo::test {

std::string ImportTestFile(const std::string& name)
{
    return std::string(TALUVO_IMPORT_TEST_DIR) + "/" + name;
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
        return {e->m_nCode, e->m_nLine, e->m_pParameter ? e->m_pParameter->m_strName : std::string()};
    }
    return {};
}

QJsonDocument RunPythonJson(const std::string& script, const QStringList& arguments)
{
    QProcess python;
    python.setProgram(QStringLiteral("/usr/bin/python3"));
    python.setArguments(QStringList{QString::fromStdString(ImportTestFile(script))} + arguments);
    python.start();
    const bool finished = python.waitForFinished(60000);
    EXPECT_TRUE(finished) << "python did not finish";
    EXPECT_EQ(python.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(python.readAllStandardOutput(), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    return document;
}

}  // namespace taluvo::test
