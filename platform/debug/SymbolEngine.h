// The symbol engine of the crash helper: stack walk, symbols, source lines, and the parameters and
// locals of a frame with their types, read from another process through elfutils (libdwfl for
// modules, unwinding and symbols, libdw for DWARF) and guarded memory reads.
//
// A type is named by a TypeRef: a DWARF entry of a type, or of a data member, or of a variable
// (which stands for the type it has, as a symbol of the debug help library does).
#pragma once

#include "platform/debug/CrashRecord.h"

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

struct Dwfl;

namespace taluvo::debug {

// Basic type codes of the report (the debug help library's numbering).
enum BasicTypeCode : int {
    btNoType = 0,
    btVoid = 1,
    btChar = 2,
    btWChar = 3,
    btInt = 6,
    btUInt = 7,
    btFloat = 8,
    btBCD = 9,
    btBool = 10,
    btLong = 13,
    btULong = 14,
    btCurrency = 25,
    btDate = 26,
    btVariant = 27,
    btComplex = 28,
    btBit = 29,
    btBSTR = 30,
    btHresult = 31
};

// Registers in DWARF numbering for x86-64: RAX RDX RCX RBX RSI RDI RBP RSP R8-R15, then the
// return address (the program counter).
inline constexpr int kDwarfRegisterCount = 17;
inline constexpr int kDwarfRsp = 7;
inline constexpr int kDwarfRip = 16;

struct StackFrame {
    uint64_t pc = 0;
    // The frame where the fault happened: its program counter is the faulting instruction
    // itself, not a return address.
    bool activation = false;
    uint64_t cfa = 0; // canonical frame address; 0 when unknown
    uint64_t registers[kDwarfRegisterCount] = {};
    uint32_t knownRegisters = 0; // bit n: registers[n] is known

    // The address to look symbols and lines up with: inside the call for a return address.
    uint64_t LookupPc() const { return activation || pc == 0 ? pc : pc - 1; }
};

struct TypeRef {
    void* dwarf = nullptr; // the module's Dwarf
    uint64_t offset = 0; // the entry's offset in it
    uint64_t bias = 0; // the module's load bias (for static addresses)
    bool IsValid() const { return dwarf != nullptr; }
};

struct VariableInfo {
    std::string name;
    bool parameter = false;
    bool inRegister = false; // the value lives in a register, not in memory
    bool frameRelative = false; // the address was computed from a register or the frame base
    uint64_t address = 0;
    uint64_t size = 0;
    TypeRef type;
};

class CSymbolEngine {
public:
    CSymbolEngine();
    ~CSymbolEngine();
    CSymbolEngine(const CSymbolEngine&) = delete;
    CSymbolEngine& operator=(const CSymbolEngine&) = delete;

    // Reports the modules mapped into process pid; false when that fails.
    bool Initialize(pid_t pid);
    void Cleanup();
    pid_t Process() const { return m_pid; }

    // The frames of thread tid, starting at the registers of a crash record, at most maxFrames.
    std::vector<StackFrame> WalkStack(pid_t tid, const CrashRecord& record, size_t maxFrames);

    // The function at an address (demangled, cut at 1024 characters) and the distance from its start.
    bool SymbolFromAddress(uint64_t address, std::string& name, uint64_t& displacement);
    bool LineFromAddress(uint64_t address, std::string& file, unsigned& line);

    // The parameters, then the locals of the scopes that hold the frame's program counter.
    void EnumerateVariables(const StackFrame& frame, const std::function<void(const VariableInfo&)>& visit);

    // Type queries. TypeName: a type's name ("int", "Config", "char*"), or a member's own name.
    std::string TypeName(TypeRef type);
    // The data members (and base classes) of a structure, class or union, at most maxChildren.
    bool TypeChildren(TypeRef type, std::vector<TypeRef>& children, size_t maxChildren);
    uint64_t ChildOffset(TypeRef child);
    // The type an entry refers to (a member's or variable's type; what a pointer points to).
    TypeRef TypeIdOf(TypeRef type);
    uint64_t TypeLength(TypeRef type);
    // The basic type code of a base or enumeration type (of its type, for a member); 0 otherwise.
    int BasicTypeOf(TypeRef type);
    // For a pointer or reference to a structure, class or union: that type.
    TypeRef PointedRecord(TypeRef type);

    bool ReadMemory(uint64_t address, void* buffer, size_t size) const;

private:
    Dwfl* m_dwfl = nullptr;
    pid_t m_pid = 0;
};

} // namespace taluvo::debug
