#include "import/IniParser.h"

#include "platform/base/FileRead.h"
#include "platform/base/TextCodec.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

namespace IniParser {

namespace {

constexpr const char* kBlanks = " \n\t\r";

bool IsAscii(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The first item whose name equals the given one, letter case ignored.
template <typename List> auto FindByName(List& items, const std::string& name)
{
    return std::find_if(
        items.begin(), items.end(), [&](const auto& item) { return NameEquals(item->m_strName, name); });
}

// Writes one line and flushes, so that a failure leaves the file complete up to that line.
void WriteLine(std::ostream& out, const std::string& text)
{
    out << text << '\n';
    out.flush();
}

} // namespace

std::string& TrimLeft(std::string& text)
{
    text.erase(0, std::min(text.find_first_not_of(kBlanks), text.size()));
    return text;
}

std::string& TrimRight(std::string& text)
{
    const size_t last = text.find_last_not_of(kBlanks);
    text.erase(last == std::string::npos ? 0 : last + 1);
    return text;
}

std::string& Trim(std::string& text)
{
    return TrimRight(TrimLeft(text));
}

bool HasEqualsAfterStart(const std::string& text)
{
    const size_t pos = text.find('=');
    return pos != std::string::npos && pos != 0;
}

bool NameEquals(const std::string& a, const std::string& b)
{
    if (IsAscii(a) && IsAscii(b)) {
        return a.size() == b.size()
            && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
    }
    // Names outside ASCII fold as the rest of the program folds letter case.
    const QString wideA = taluvo::AnsiDecode(a.data(), static_cast<qsizetype>(a.size()));
    const QString wideB = taluvo::AnsiDecode(b.data(), static_cast<qsizetype>(b.size()));
    return wideA.compare(wideB, Qt::CaseInsensitive) == 0;
}

// ---------------------------------------------------------------------------------------------
// CParameter

CParameter::CParameter(const char* name, CValue* value, bool required)
    : m_strName(name ? name : "")
    , m_pValue(value)
    , m_bRequired(required)
{
}

void CParameter::FromString(const std::string& text)
{
    if (m_bRead)
        throw new CException(CException::codeDuplicate, -1, this);
    try {
        m_pValue->FromString(text);
    } catch (CException* e) {
        e->m_pParameter = this;
        throw;
    }
    m_bRead = true;
}

std::string CParameter::ToString() const
{
    try {
        return m_strName + "=" + m_pValue->ToString();
    } catch (CException* e) {
        e->m_pParameter = const_cast<CParameter*>(this);
        throw;
    }
}

void CParameter::CheckRequired()
{
    if (m_bRequired && !m_bRead)
        throw new CException(CException::codeRequired, -1, this);
}

// ---------------------------------------------------------------------------------------------
// CSection

CSection::CSection(const char* name)
    : m_strName(name ? name : "")
{
}

void CSection::AddParameter(const char* name, CValue* value, bool required)
{
    m_params.push_back(std::make_unique<CParameter>(name, value, required));
}

bool CSection::RemoveParameter(const char* name)
{
    const auto it = FindByName(m_params, name ? name : "");
    if (it == m_params.end())
        return false;
    m_params.erase(it);
    return true;
}

CParameter* CSection::FindParameter(const std::string& name) const
{
    const auto it = FindByName(m_params, name);
    return it == m_params.end() ? nullptr : it->get();
}

void CSection::ParseLine(const std::string& line)
{
    const size_t equals = line.find('=');
    if (equals == std::string::npos || equals == 0)
        throw new CException(CException::codeNoEquals);
    // No quoting, escapes, continuation lines or trailing comments: a ";" after "=" is value text.
    std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    TrimRight(key);
    TrimLeft(value);
    CParameter* parameter = FindParameter(key);
    if (!parameter)
        throw new CException(CException::codeUndeclaredParameter);
    parameter->FromString(value);
}

void CSection::ResetReadFlags()
{
    for (auto& parameter : m_params)
        parameter->m_bRead = false;
}

void CSection::CheckRequired()
{
    for (auto& parameter : m_params)
        parameter->CheckRequired();
}

void CSection::Write(std::ostream& out) const
{
    for (const auto& parameter : m_params)
        WriteLine(out, parameter->ToString());
}

// ---------------------------------------------------------------------------------------------
// CIniFile

CIniFile::CIniFile(bool skipNoEqualsLines, bool acceptUndeclaredSections, bool skipUndeclaredParameters)
    : m_bSkipNoEqualsLines(skipNoEqualsLines)
    , m_bAcceptUndeclaredSections(acceptUndeclaredSections)
    , m_bSkipUndeclaredParameters(skipUndeclaredParameters)
{
}

CSection* CIniFile::AddSection(const char* name)
{
    m_sections.push_back(std::make_unique<CSection>(name));
    return m_sections.back().get();
}

bool CIniFile::RemoveSection(const char* name)
{
    const auto it = FindByName(m_sections, name ? name : "");
    if (it == m_sections.end())
        return false;
    if (m_pCurSection == it->get())
        m_pCurSection = nullptr;
    m_sections.erase(it);
    return true;
}

CSection* CIniFile::FindSection(const std::string& name) const
{
    const auto it = FindByName(m_sections, name);
    return it == m_sections.end() ? nullptr : it->get();
}

void CIniFile::Load(const char* path)
{
    // A profile list is a few kilobytes; the bound only keeps a wrong file from costing memory.
    constexpr size_t kMaxIniFileSize = size_t(4) * 1024 * 1024;
    std::string contents;
    int error = 0;
    if (taluvo::ReadRegularFile(path ? path : "", kMaxIniFileSize, contents, &error) != taluvo::EFileRead::ok)
        throw new CException(CException::codeOpen, error ? error : ENOENT);
    std::istringstream in(contents);
    Parse(in);
}

void CIniFile::Save(const char* path)
{
    errno = 0;
    std::ofstream out(path ? path : "", std::ios::out | std::ios::binary | std::ios::trunc);
    if (!out.is_open())
        throw new CException(CException::codeOpen, errno ? errno : EACCES);
    Write(out);
    // Every line was flushed; a stream that went bad lost some of them.
    if (!out)
        throw new CException(CException::codeOpen, errno ? errno : EIO);
}

void CIniFile::Parse(std::istream& in)
{
    ResetReadFlags();
    // Each load starts clean: lines before the first header never fall into a section of an
    // earlier file, and comments of an earlier file are not mixed into this one.
    m_pCurSection = nullptr;
    m_comments.clear();

    int lineNumber = 0;
    int ordinal = 0;
    std::string line;
    while (std::getline(in, line)) {
        ++lineNumber;
        ++ordinal;
        Trim(line);
        if (line.empty()) {
            --ordinal; // blank lines count for the line number, not for the ordinal
            continue;
        }
        if (line[0] == '[') {
            // The last character is dropped whatever it is; "[" alone names the empty section.
            const std::string name = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string();
            m_pCurSection = FindSection(name);
            if (!m_pCurSection && !m_bAcceptUndeclaredSections)
                throw new CException(CException::codeUndeclaredSection, lineNumber);
            continue;
        }
        if (line[0] == ';') {
            m_comments[ordinal] = line;
            continue;
        }
        try {
            if (!m_pCurSection) {
                throw new CException(
                    HasEqualsAfterStart(line) ? CException::codeUndeclaredParameter : CException::codeBadValue);
            }
            m_pCurSection->ParseLine(line);
        } catch (CException* e) {
            e->m_nLine = lineNumber;
            if ((e->m_nCode == CException::codeNoEquals && m_bSkipNoEqualsLines)
                || (e->m_nCode == CException::codeUndeclaredParameter && m_bSkipUndeclaredParameters)) {
                delete e;
                continue;
            }
            throw;
        }
    }
    CheckRequired();
}

void CIniFile::Write(std::ostream& out)
{
    int n = 0;
    auto writeComments = [&] {
        for (auto it = m_comments.find(n); it != m_comments.end(); it = m_comments.find(n)) {
            WriteLine(out, it->second);
            ++n;
        }
    };
    try {
        for (const auto& section : m_sections) {
            ++n;
            writeComments();
            WriteLine(out, "[" + section->m_strName + "]");
            for (const auto& parameter : section->m_params) {
                ++n;
                writeComments();
                if (parameter->m_bRead)
                    WriteLine(out, parameter->ToString());
                else
                    --n; // an absent parameter takes no ordinal
            }
            WriteLine(out, std::string());
        }
        for (auto it = m_comments.upper_bound(n); it != m_comments.end(); ++it)
            WriteLine(out, it->second);
    } catch (CException* e) {
        e->m_nLine = n;
        throw;
    }
}

void CIniFile::ResetReadFlags()
{
    for (auto& section : m_sections)
        section->ResetReadFlags();
}

void CIniFile::CheckRequired()
{
    for (auto& section : m_sections)
        section->CheckRequired();
}

std::istream& operator>>(std::istream& in, CIniFile& file)
{
    file.Parse(in);
    return in;
}

std::ostream& operator<<(std::ostream& out, CIniFile& file)
{
    file.Write(out);
    return out;
}

} // namespace IniParser
