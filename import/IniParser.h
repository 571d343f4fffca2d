// INI files read and written against a schema that the caller declares.
//
// The caller declares its sections and, in each, its parameters, binding every parameter to one of
// its own variables (IniValues.h). Load converts each value straight into the bound variable and
// reports every breach of the grammar or the schema by throwing a CException, created with new and
// thrown by pointer: whoever catches one deletes it. Three options make the parser tolerant of
// content the schema does not know. Comment lines are remembered by their position among the
// non-empty lines, so Save writes the bound variables back with the comments where they were.
//
// All text is narrow and passes through unchanged: the parser applies no code-page conversion.
#pragma once

#include <exception>
#include <iosfwd>
#include <list>
#include <map>
#include <memory>
#include <string>

namespace IniParser {

class CParameter;

// The one error type of the parser and its bindings.
class CException : public std::exception {
public:
    enum Code {
        codeOpen = 0, // Load or Save cannot open the file; m_nLine holds errno
        codeUndeclaredSection = 1, // a header names a section that was not declared
        codeUndeclaredParameter = 2, // a key that was not declared, or key=value outside a declared section
        codeNoEquals = 3, // a line in a declared section without "=" or starting with it
        codeBadValue = 4, // a line outside a section without "=", or a value that does not convert
        codeInvalidValue = 5, // a binding refuses the value
        codeDuplicate = 6, // a parameter given twice in one load
        codeRequired = 7, // a required parameter the file did not give
    };

    explicit CException(int code, int line = -1, CParameter* parameter = nullptr)
        : m_nLine(line)
        , m_nCode(code)
        , m_pParameter(parameter)
    {
    }
    const char* what() const noexcept override { return "IniParser::CException"; }

    int m_nLine; // 1-based physical line; -1 when no line is concerned; errno for code 0
    int m_nCode;
    CParameter* m_pParameter; // the parameter concerned, not owned; null when none
};

// A binding between one parameter and one variable of the caller. Bindings do not own their
// variables; the parameter that holds a binding owns it.
class CValue {
public:
    virtual ~CValue() = default;
    // Converts the text into the variable; code 4 when it does not convert, 5 when it is refused.
    virtual void FromString(const std::string& text) = 0;
    // The variable as text; code 5 when its value is not valid.
    virtual std::string ToString() const = 0;
    virtual bool IsValid() const = 0;
};

// Text helpers. Trimming removes space, line feed, tab and carriage return.
std::string& TrimLeft(std::string& text);
std::string& TrimRight(std::string& text);
std::string& Trim(std::string& text);
// True when the text holds "=" and its first "=" is not the first character.
bool HasEqualsAfterStart(const std::string& text);
// Names compare without regard to letter case.
bool NameEquals(const std::string& a, const std::string& b);

class CParameter {
public:
    // Takes ownership of the binding, which must not be null.
    CParameter(const char* name, CValue* value, bool required);
    virtual ~CParameter() = default;
    CParameter(const CParameter&) = delete;
    CParameter& operator=(const CParameter&) = delete;

    // Code 6 when the parameter was read already in this load; errors of the binding carry this
    // parameter.
    void FromString(const std::string& text);
    // "name=value", without spaces.
    std::string ToString() const;
    // Code 7 when the parameter is required and was not read.
    void CheckRequired();

    bool operator==(const CParameter& other) const { return NameEquals(m_strName, other.m_strName); }

    std::string m_strName;
    std::unique_ptr<CValue> m_pValue;
    bool m_bRequired;
    bool m_bRead = false;
};

class CSection {
public:
    explicit CSection(const char* name);
    virtual ~CSection() = default;
    CSection(const CSection&) = delete;
    CSection& operator=(const CSection&) = delete;

    // Takes ownership of the binding, which must not be null.
    void AddParameter(const char* name, CValue* value, bool required);
    bool RemoveParameter(const char* name);
    CParameter* FindParameter(const std::string& name) const;

    // One trimmed line "key=value" of this section.
    void ParseLine(const std::string& line);
    void ResetReadFlags();
    void CheckRequired();
    // name=value for every parameter, read or not, without header or comments.
    void Write(std::ostream& out) const;

    bool operator==(const CSection& other) const { return NameEquals(m_strName, other.m_strName); }

    std::string m_strName;
    std::list<std::unique_ptr<CParameter>> m_params;
};

class CIniFile {
public:
    CIniFile(bool skipNoEqualsLines, bool acceptUndeclaredSections, bool skipUndeclaredParameters);
    virtual ~CIniFile() = default;
    CIniFile(const CIniFile&) = delete;
    CIniFile& operator=(const CIniFile&) = delete;

    // A repeated name is not refused; lookups find the first.
    CSection* AddSection(const char* name);
    bool RemoveSection(const char* name);
    CSection* FindSection(const std::string& name) const;

    // Reads the file without line-end translation; code 0 when it cannot be opened.
    void Load(const char* path);
    // Creates or truncates the file and writes it; code 0 when it cannot be opened or written.
    void Save(const char* path);
    void Parse(std::istream& in);
    void Write(std::ostream& out);

    void ResetReadFlags();
    void CheckRequired();

    std::list<std::unique_ptr<CSection>> m_sections;
    bool m_bSkipNoEqualsLines;
    bool m_bAcceptUndeclaredSections;
    bool m_bSkipUndeclaredParameters;
    CSection* m_pCurSection = nullptr;
    std::map<int, std::string> m_comments; // comment lines by ordinal among the non-empty lines
};

std::istream& operator>>(std::istream& in, CIniFile& file);
std::ostream& operator<<(std::ostream& out, CIniFile& file);

} // namespace IniParser
