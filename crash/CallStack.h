// The call-stack sections of the crash report: each frame's function (or module, segment and
// offset) and source line, and in the second walk the parameters and locals of every frame with
// their types, members and values.
#pragma once

#include "platform/debug/CrashRecord.h"
#include "platform/debug/SymbolEngine.h"

#include <QByteArray>

#include <cstdint>
#include <string>

class CCrashReporter;

// Bounds of the walk and of every text it builds.
inline constexpr size_t kMaxStackFrames = 256;
inline constexpr size_t kSymbolTextSize = 2048;
inline constexpr size_t kMaxTypeChildren = 4096;
inline constexpr int kMaxMemberDepth = 8;

// The text of one symbol; what would pass its capacity is cut.
class CSymbolText {
public:
    void Append(const QByteArray& text);
    void Append(const char* text) { Append(QByteArray(text)); }
    const QByteArray& Text() const { return m_text; }

private:
    QByteArray m_text;
};

// Thrown by a read of the crashed program's memory that failed; turns the symbol's line into the
// "punting" line.
struct CReadFault {
    uint64_t address;
};

void WriteCallStack(CCrashReporter& reporter, const taluvo::debug::CrashRecord& record, bool withLocals);

void ReportSymbolCallback(
    CCrashReporter& reporter, const taluvo::debug::VariableInfo& symbol, const taluvo::debug::StackFrame& frame);
bool DescribeSymbol(taluvo::debug::CSymbolEngine& engine, const taluvo::debug::VariableInfo& symbol, CSymbolText& text);
void DescribeTypeMembers(taluvo::debug::CSymbolEngine& engine, CSymbolText& text, taluvo::debug::TypeRef type,
    int depth, uint64_t address, bool& handled);
int QueryBasicType(taluvo::debug::CSymbolEngine& engine, taluvo::debug::TypeRef type);
void AppendValueText(
    taluvo::debug::CSymbolEngine& engine, CSymbolText& text, int basicType, uint64_t length, uint64_t address);
