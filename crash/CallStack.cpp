#include "crash/CallStack.h"

#include "crash/CrashReporter.h"
#include "platform/base/Format.h"
#include "platform/debug/ProcessMemory.h"

#include <cstring>

using namespace taluvo::debug;

void CSymbolText::Append(const QByteArray& text)
{
    const qsizetype room = static_cast<qsizetype>(kSymbolTextSize) - 1 - m_text.size();
    if (room <= 0)
        return;
    m_text.append(text.left(room));
}

namespace {

template <typename T> T ReadValue(CSymbolEngine& engine, uint64_t address)
{
    T value {};
    if (!engine.ReadMemory(address, &value, sizeof(value)))
        throw CReadFault { address };
    return value;
}

} // namespace

void WriteCallStack(CCrashReporter& reporter, const CrashRecord& record, bool withLocals)
{
    reporter.ReportPrintf(u"\r\nCall stack:\r\n");
    reporter.ReportPrintf(u"Address           Frame             Function            SourceFile\r\n");
    CSymbolEngine& engine = reporter.SymbolEngine();
    const std::vector<StackFrame> frames = engine.WalkStack(record.threadId, record, kMaxStackFrames);
    for (const StackFrame& frame : frames) {
        reporter.ReportPrintf(u"%016I64X  %016I64X  ", frame.pc, frame.cfa);
        const uint64_t lookup = frame.LookupPc();
        std::string name;
        uint64_t displacement = 0;
        if (engine.SymbolFromAddress(lookup, name, displacement)) {
            // Shown against the frame's own address, as the walk reports it.
            reporter.ReportPrintf(u"%hs+%X", name, static_cast<uint32_t>(displacement + (frame.pc - lookup)));
        } else {
            char module[1024] = "";
            unsigned segment = 0;
            uint64_t offset = 0;
            LocateAddressInModule(engine.Process(), frame.pc, module, sizeof(module), &segment, &offset);
            reporter.ReportPrintf(u"%04X:%08X %hs", segment, static_cast<uint32_t>(offset), module);
        }
        std::string file;
        unsigned line = 0;
        if (engine.LineFromAddress(lookup, file, line))
            reporter.ReportPrintf(u"  %hs line %u", file, line);
        reporter.ReportPrintf(u"\r\n");
        if (withLocals) {
            engine.EnumerateVariables(
                frame, [&](const VariableInfo& symbol) { ReportSymbolCallback(reporter, symbol, frame); });
            reporter.ReportPrintf(u"\r\n");
        }
    }
}

void ReportSymbolCallback(CCrashReporter& reporter, const VariableInfo& symbol, const StackFrame&)
{
    CSymbolText text;
    try {
        if (DescribeSymbol(reporter.SymbolEngine(), symbol, text))
            reporter.ReportPrintf(u"        %hs\r\n", text.Text());
    } catch (const CReadFault&) {
        reporter.ReportPrintf(u"punting on symbol %hs\r\n", symbol.name);
    }
}

bool DescribeSymbol(CSymbolEngine& engine, const VariableInfo& symbol, CSymbolText& text)
{
    if (symbol.parameter)
        text.Append("Parameter ");
    else
        text.Append("Local ");
    text.Append(taluvo::Format("'%s'", symbol.name));
    if (symbol.inRegister)
        return false; // register variables are not shown
    bool handled = false;
    DescribeTypeMembers(engine, text, symbol.type, 0, symbol.address, handled);
    if (!handled)
        AppendValueText(engine, text, QueryBasicType(engine, symbol.type), symbol.size, symbol.address);
    return true;
}

void DescribeTypeMembers(
    CSymbolEngine& engine, CSymbolText& text, TypeRef type, int depth, uint64_t address, bool& handled)
{
    handled = false;
    const std::string name = engine.TypeName(type);
    if (!name.empty())
        text.Append(taluvo::Format(" %s", name));
    if (depth >= kMaxMemberDepth)
        return;

    // A variable that points to (or refers to) a structure shows the members it points to.
    TypeRef members = type;
    if (depth == 0) {
        if (const TypeRef pointed = engine.PointedRecord(type); pointed.IsValid()) {
            address = ReadValue<uint64_t>(engine, address);
            members = pointed;
        }
    }
    std::vector<TypeRef> children;
    if (!engine.TypeChildren(members, children, kMaxTypeChildren))
        return;
    text.Append("\r\n");
    for (const TypeRef& child : children) {
        for (int i = 0; i < depth + 2; ++i)
            text.Append("        ");
        // Members of nested structures sit at the offsets of all their enclosing members.
        const uint64_t childAddress = address + engine.ChildOffset(child);
        bool childHandled = false;
        DescribeTypeMembers(engine, text, child, depth + 1, childAddress, childHandled);
        if (!childHandled) {
            AppendValueText(engine, text, QueryBasicType(engine, child), engine.TypeLength(child), childAddress);
            text.Append("\r\n");
        }
    }
    handled = true;
}

int QueryBasicType(CSymbolEngine& engine, TypeRef type)
{
    const int basic = engine.BasicTypeOf(type);
    if (basic != btNoType)
        return basic;
    return engine.BasicTypeOf(engine.TypeIdOf(type));
}

void AppendValueText(CSymbolEngine& engine, CSymbolText& text, int basicType, uint64_t length, uint64_t address)
{
    switch (length) {
    case 1:
        text.Append(taluvo::Format(" = %X", ReadValue<uint8_t>(engine, address)));
        break;
    case 2:
        text.Append(taluvo::Format(" = %X", ReadValue<uint16_t>(engine, address)));
        break;
    case 4:
        if (basicType == btFloat)
            text.Append(taluvo::Format(" = %f", static_cast<double>(ReadValue<float>(engine, address))));
        else
            text.Append(taluvo::Format(" = %X", ReadValue<uint32_t>(engine, address)));
        break;
    case 8: {
        if (basicType == btFloat) {
            text.Append(taluvo::Format(" = %lf", ReadValue<double>(engine, address)));
            break;
        }
        const uint64_t value = ReadValue<uint64_t>(engine, address);
        if (basicType == btChar) {
            // A pointer to text: shown when 32 characters (or the text up to its end) can be read.
            char buffer[33];
            if (ReadStringChecked(engine.Process(), value, buffer, 32)) {
                buffer[31] = '\0';
                text.Append(" = \"");
                text.Append(QByteArray(buffer));
                text.Append("\"");
                break;
            }
        }
        text.Append(taluvo::Format(" = %I64X", value));
        break;
    }
    default:
        break;
    }
}
