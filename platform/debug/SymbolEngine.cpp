#include "platform/debug/SymbolEngine.h"

#include "platform/debug/ProcessMemory.h"

#include <cstdlib>
#include <cxxabi.h>
#include <dwarf.h>
#include <elfutils/libdw.h>
#include <elfutils/libdwfl.h>

namespace taluvo::debug {

namespace {

constexpr size_t kMaxNameLength = 1024;
constexpr size_t kMaxTypeNameLength = 256;
constexpr int kMaxTypeNameDepth = 8;

char* g_debuginfoPath = nullptr;

const Dwfl_Callbacks kProcessCallbacks = {
    dwfl_linux_proc_find_elf,
    dwfl_standard_find_debuginfo,
    nullptr,
    &g_debuginfoPath,
};

// What the unwinder needs for the one thread it walks.
struct WalkState {
    pid_t tid = 0;
    bool threadGiven = false;
    Dwarf_Word registers[kDwarfRegisterCount] = {};
    std::vector<StackFrame>* frames = nullptr;
    size_t maxFrames = 0;
};

pid_t NextThread(Dwfl*, void* arg, void** threadArg)
{
    auto* state = static_cast<WalkState*>(arg);
    if (state->threadGiven)
        return 0;
    state->threadGiven = true;
    *threadArg = state;
    return state->tid;
}

bool MemoryRead(Dwfl* dwfl, Dwarf_Addr address, Dwarf_Word* result, void*)
{
    return ReadProcessMemory(dwfl_pid(dwfl), address, result, sizeof(*result));
}

bool SetInitialRegisters(Dwfl_Thread* thread, void* threadArg)
{
    auto* state = static_cast<WalkState*>(threadArg);
    if (!dwfl_thread_state_registers(thread, 0, kDwarfRegisterCount, state->registers))
        return false;
    dwfl_thread_state_register_pc(thread, state->registers[kDwarfRip]);
    return true;
}

const Dwfl_Thread_Callbacks kThreadCallbacks = {
    NextThread,
    nullptr,
    MemoryRead,
    SetInitialRegisters,
    nullptr,
    nullptr,
};

int RecordFrame(Dwfl_Frame* state, void* arg)
{
    auto* walk = static_cast<WalkState*>(arg);
    StackFrame frame;
    Dwarf_Addr pc = 0;
    bool activation = false;
    if (!dwfl_frame_pc(state, &pc, &activation) || pc == 0)
        return DWARF_CB_ABORT;
    frame.pc = pc;
    frame.activation = walk->frames->empty() || activation;
    for (int r = 0; r < kDwarfRegisterCount; ++r) {
        Dwarf_Word value = 0;
        if (dwfl_frame_reg(state, static_cast<unsigned>(r), &value) == 0) {
            frame.registers[r] = value;
            frame.knownRegisters |= 1u << r;
        }
    }
    walk->frames->push_back(frame);
    return walk->frames->size() >= walk->maxFrames ? DWARF_CB_ABORT : DWARF_CB_OK;
}

// A small evaluator for the DWARF expressions that give variable locations, frame bases and
// canonical frame addresses. Anything it does not know makes the location unknown.
struct Location {
    enum Kind { Unknown, Memory, Register } kind = Unknown;
    uint64_t value = 0;
    bool registerRelative = false;
};

struct EvalContext {
    const StackFrame* frame = nullptr;
    pid_t pid = 0;
    uint64_t bias = 0;
    uint64_t frameBase = 0;
    bool frameBaseKnown = false;
};

bool FrameRegister(const StackFrame& frame, unsigned reg, uint64_t* value)
{
    if (reg >= static_cast<unsigned>(kDwarfRegisterCount) || !(frame.knownRegisters & (1u << reg)))
        return false;
    *value = frame.registers[reg];
    return true;
}

Location Evaluate(const Dwarf_Op* ops, size_t count, const EvalContext& ctx)
{
    Location result;
    uint64_t stack[16];
    size_t depth = 0;
    auto push = [&](uint64_t v) {
        if (depth < 16)
            stack[depth++] = v;
        return depth <= 16;
    };
    for (size_t i = 0; i < count; ++i) {
        const Dwarf_Op& op = ops[i];
        const uint8_t atom = op.atom;
        uint64_t value = 0;
        if (atom >= DW_OP_reg0 && atom <= DW_OP_reg31) {
            if (count != 1)
                return {};
            result.kind = Location::Register;
            result.value = atom - DW_OP_reg0;
            return result;
        }
        if (atom >= DW_OP_breg0 && atom <= DW_OP_breg31) {
            if (!FrameRegister(*ctx.frame, atom - DW_OP_breg0, &value))
                return {};
            push(value + static_cast<uint64_t>(static_cast<int64_t>(op.number)));
            result.registerRelative = true;
            continue;
        }
        if (atom >= DW_OP_lit0 && atom <= DW_OP_lit31) {
            push(atom - DW_OP_lit0);
            continue;
        }
        switch (atom) {
        case DW_OP_regx:
            if (count != 1)
                return {};
            result.kind = Location::Register;
            result.value = op.number;
            return result;
        case DW_OP_bregx:
            if (!FrameRegister(*ctx.frame, static_cast<unsigned>(op.number), &value))
                return {};
            push(value + static_cast<uint64_t>(static_cast<int64_t>(op.number2)));
            result.registerRelative = true;
            break;
        case DW_OP_addr:
            push(op.number + ctx.bias);
            break;
        case DW_OP_fbreg:
            if (!ctx.frameBaseKnown)
                return {};
            push(ctx.frameBase + static_cast<uint64_t>(static_cast<int64_t>(op.number)));
            result.registerRelative = true;
            break;
        case DW_OP_call_frame_cfa:
            if (ctx.frame->cfa == 0)
                return {};
            push(ctx.frame->cfa);
            result.registerRelative = true;
            break;
        case DW_OP_const1u:
        case DW_OP_const2u:
        case DW_OP_const4u:
        case DW_OP_const8u:
        case DW_OP_constu:
        case DW_OP_const1s:
        case DW_OP_const2s:
        case DW_OP_const4s:
        case DW_OP_const8s:
        case DW_OP_consts:
            push(op.number);
            break;
        case DW_OP_plus_uconst:
            if (depth == 0)
                return {};
            stack[depth - 1] += op.number;
            break;
        case DW_OP_plus:
        case DW_OP_minus:
            if (depth < 2)
                return {};
            --depth;
            stack[depth - 1] = atom == DW_OP_plus ? stack[depth - 1] + stack[depth] : stack[depth - 1] - stack[depth];
            break;
        case DW_OP_deref:
            if (depth == 0 || !ReadProcessMemory(ctx.pid, stack[depth - 1], &value, sizeof(value)))
                return {};
            stack[depth - 1] = value;
            break;
        default:
            return {}; // values that are not in memory (stack values, pieces, entry values)
        }
    }
    if (depth == 0)
        return {};
    result.kind = Location::Memory;
    result.value = stack[depth - 1];
    return result;
}

bool ComputeCfa(Dwfl_Module* module, StackFrame& frame, pid_t pid)
{
    const Dwarf_Addr pc = frame.LookupPc();
    for (int source = 0; source < 2; ++source) {
        Dwarf_Addr bias = 0;
        Dwarf_CFI* cfi = source == 0 ? dwfl_module_dwarf_cfi(module, &bias) : dwfl_module_eh_cfi(module, &bias);
        if (!cfi)
            continue;
        Dwarf_Frame* cfiFrame = nullptr;
        if (dwarf_cfi_addrframe(cfi, pc - bias, &cfiFrame) != 0)
            continue;
        Dwarf_Op* ops = nullptr;
        size_t count = 0;
        bool ok = false;
        if (dwarf_frame_cfa(cfiFrame, &ops, &count) == 0) {
            EvalContext ctx;
            ctx.frame = &frame;
            ctx.pid = pid;
            const Location cfa = Evaluate(ops, count, ctx);
            if (cfa.kind == Location::Memory) {
                frame.cfa = cfa.value;
                ok = true;
            }
        }
        free(cfiFrame);
        if (ok)
            return true;
    }
    return false;
}

bool GetDie(TypeRef ref, Dwarf_Die* die)
{
    return ref.dwarf && dwarf_offdie(static_cast<Dwarf*>(ref.dwarf), ref.offset, die) != nullptr;
}

TypeRef MakeRef(Dwarf_Die* die, uint64_t bias)
{
    TypeRef ref;
    ref.dwarf = dwarf_cu_getdwarf(die->cu);
    ref.offset = dwarf_dieoffset(die);
    ref.bias = bias;
    return ref;
}

bool TypeOf(Dwarf_Die* die, Dwarf_Die* type)
{
    Dwarf_Attribute attr;
    return dwarf_attr_integrate(die, DW_AT_type, &attr) && dwarf_formref_die(&attr, type);
}

// Follows typedefs and qualifiers to the type that decides layout and value. False for void.
bool ResolveType(Dwarf_Die* die, Dwarf_Die* resolved)
{
    Dwarf_Die current = *die;
    for (int guard = 0; guard < 32; ++guard) {
        switch (dwarf_tag(&current)) {
        case DW_TAG_typedef:
        case DW_TAG_const_type:
        case DW_TAG_volatile_type:
        case DW_TAG_restrict_type:
        case DW_TAG_atomic_type: {
            Dwarf_Die next;
            if (!TypeOf(&current, &next))
                return false;
            current = next;
            break;
        }
        default:
            *resolved = current;
            return true;
        }
    }
    return false;
}

// A member or variable entry stands for its type; a type entry for itself.
bool TypeOfEntry(Dwarf_Die* die, Dwarf_Die* resolved)
{
    const int tag = dwarf_tag(die);
    if (tag == DW_TAG_member || tag == DW_TAG_variable || tag == DW_TAG_formal_parameter || tag == DW_TAG_inheritance) {
        Dwarf_Die type;
        return TypeOf(die, &type) && ResolveType(&type, resolved);
    }
    return ResolveType(die, resolved);
}

bool IsRecordTag(int tag)
{
    return tag == DW_TAG_structure_type || tag == DW_TAG_class_type || tag == DW_TAG_union_type;
}

void AppendTypeName(Dwarf_Die* die, std::string& out, int depth)
{
    if (depth > kMaxTypeNameDepth || out.size() > kMaxTypeNameLength)
        return;
    const int tag = dwarf_tag(die);
    Dwarf_Die inner;
    const bool hasInner = TypeOf(die, &inner);
    switch (tag) {
    case DW_TAG_pointer_type:
    case DW_TAG_reference_type:
    case DW_TAG_rvalue_reference_type:
        if (hasInner)
            AppendTypeName(&inner, out, depth + 1);
        else
            out += "void";
        out += tag == DW_TAG_pointer_type ? "*" : tag == DW_TAG_reference_type ? "&" : "&&";
        return;
    case DW_TAG_const_type:
    case DW_TAG_volatile_type:
        out += tag == DW_TAG_const_type ? "const " : "volatile ";
        if (hasInner)
            AppendTypeName(&inner, out, depth + 1);
        else
            out += "void";
        return;
    case DW_TAG_array_type:
        if (hasInner)
            AppendTypeName(&inner, out, depth + 1);
        out += "[]";
        return;
    case DW_TAG_subroutine_type:
        out += "function";
        return;
    default:
        if (const char* name = dwarf_diename(die))
            out += name;
        return;
    }
}

int BasicTypeOfEncoding(Dwarf_Die* base)
{
    Dwarf_Attribute attr;
    Dwarf_Word encoding = 0;
    if (!dwarf_attr(base, DW_AT_encoding, &attr) || dwarf_formudata(&attr, &encoding) != 0)
        return btNoType;
    const char* name = dwarf_diename(base);
    const bool isLong = name && std::string(name).find("long") != std::string::npos;
    Dwarf_Word size = 0;
    if (dwarf_attr(base, DW_AT_byte_size, &attr))
        dwarf_formudata(&attr, &size);
    switch (encoding) {
    case DW_ATE_signed_char:
    case DW_ATE_unsigned_char:
        return btChar;
    case DW_ATE_UTF:
        return size == 1 ? btChar : btWChar;
    case DW_ATE_signed:
        return isLong ? btLong : btInt;
    case DW_ATE_unsigned:
        return isLong ? btULong : btUInt;
    case DW_ATE_float:
        return btFloat;
    case DW_ATE_boolean:
        return btBool;
    case DW_ATE_complex_float:
        return btComplex;
    default:
        return btNoType;
    }
}

std::string Demangle(const char* name)
{
    int status = 0;
    char* demangled = abi::__cxa_demangle(name, nullptr, nullptr, &status);
    std::string result = status == 0 && demangled ? demangled : name;
    free(demangled);
    if (result.size() > kMaxNameLength)
        result.resize(kMaxNameLength);
    return result;
}

} // namespace

CSymbolEngine::CSymbolEngine() = default;

CSymbolEngine::~CSymbolEngine()
{
    Cleanup();
}

bool CSymbolEngine::Initialize(pid_t pid)
{
    Cleanup();
    m_dwfl = dwfl_begin(&kProcessCallbacks);
    if (!m_dwfl)
        return false;
    dwfl_report_begin(m_dwfl);
    const int reported = dwfl_linux_proc_report(m_dwfl, pid);
    if (dwfl_report_end(m_dwfl, nullptr, nullptr) != 0 || reported != 0) {
        Cleanup();
        return false;
    }
    m_pid = pid;
    return true;
}

void CSymbolEngine::Cleanup()
{
    if (m_dwfl)
        dwfl_end(m_dwfl);
    m_dwfl = nullptr;
    m_pid = 0;
}

std::vector<StackFrame> CSymbolEngine::WalkStack(pid_t tid, const CrashRecord& r, size_t maxFrames)
{
    std::vector<StackFrame> frames;
    if (!m_dwfl || maxFrames == 0)
        return frames;
    WalkState state;
    state.tid = tid;
    state.frames = &frames;
    state.maxFrames = maxFrames;
    const int order[kDwarfRegisterCount]
        = { kRax, kRdx, kRcx, kRbx, kRsi, kRdi, kRbp, kRsp, kR8, kR9, kR10, kR11, kR12, kR13, kR14, kR15, kRip };
    for (int i = 0; i < kDwarfRegisterCount; ++i)
        state.registers[i] = r.registers[order[i]];
    // The thread state can be attached once per session; a second walk starts a fresh one.
    Dwfl* dwfl = dwfl_begin(&kProcessCallbacks);
    if (!dwfl)
        return frames;
    dwfl_report_begin(dwfl);
    dwfl_linux_proc_report(dwfl, m_pid);
    dwfl_report_end(dwfl, nullptr, nullptr);
    if (dwfl_attach_state(dwfl, nullptr, m_pid, &kThreadCallbacks, &state))
        dwfl_getthread_frames(dwfl, tid, RecordFrame, &state);
    dwfl_end(dwfl);
    for (StackFrame& frame : frames) {
        if (Dwfl_Module* module = dwfl_addrmodule(m_dwfl, frame.LookupPc()))
            ComputeCfa(module, frame, m_pid);
    }
    // Where no frame description says it, the caller's stack pointer is the callee's CFA.
    for (size_t i = 0; i + 1 < frames.size(); ++i) {
        if (frames[i].cfa == 0 && (frames[i + 1].knownRegisters & (1u << kDwarfRsp)))
            frames[i].cfa = frames[i + 1].registers[kDwarfRsp];
    }
    return frames;
}

bool CSymbolEngine::SymbolFromAddress(uint64_t address, std::string& name, uint64_t& displacement)
{
    Dwfl_Module* module = m_dwfl ? dwfl_addrmodule(m_dwfl, address) : nullptr;
    if (!module)
        return false;
    GElf_Off offset = 0;
    GElf_Sym symbol;
    const char* found = dwfl_module_addrinfo(module, address, &offset, &symbol, nullptr, nullptr, nullptr);
    if (!found)
        return false;
    // Versioned library symbols carry their version ("__libc_start_main@@GLIBC_2.34").
    std::string plain = found;
    if (const size_t at = plain.find('@'); at != std::string::npos && at > 0)
        plain.resize(at);
    name = Demangle(plain.c_str());
    displacement = offset;
    return true;
}

bool CSymbolEngine::LineFromAddress(uint64_t address, std::string& file, unsigned& line)
{
    Dwfl_Module* module = m_dwfl ? dwfl_addrmodule(m_dwfl, address) : nullptr;
    Dwfl_Line* found = module ? dwfl_module_getsrc(module, address) : nullptr;
    if (!found)
        return false;
    int lineNumber = 0;
    const char* source = dwfl_lineinfo(found, nullptr, &lineNumber, nullptr, nullptr, nullptr);
    if (!source || lineNumber <= 0)
        return false;
    file = source;
    // A file compiled with a relative name (ccache's base_dir, out-of-tree builds) is named
    // relative to its unit's compile folder; join them so the report names a file one can open.
    const char* compileDir = dwfl_line_comp_dir(found);
    if (!file.empty() && file.front() != '/' && compileDir && *compileDir)
        file = std::string(compileDir) + '/' + file;
    if (file.size() > kMaxNameLength)
        file.resize(kMaxNameLength);
    line = static_cast<unsigned>(lineNumber);
    return true;
}

void CSymbolEngine::EnumerateVariables(const StackFrame& frame, const std::function<void(const VariableInfo&)>& visit)
{
    const uint64_t pc = frame.LookupPc();
    Dwfl_Module* module = m_dwfl ? dwfl_addrmodule(m_dwfl, pc) : nullptr;
    if (!module)
        return;
    Dwarf_Addr bias = 0;
    Dwarf_Die* cu = dwfl_module_addrdie(module, pc, &bias);
    if (!cu)
        return;
    Dwarf_Die* scopes = nullptr;
    const int count = dwarf_getscopes(cu, pc - bias, &scopes);
    if (count <= 0)
        return;
    int function = -1;
    int frameBaseScope = -1;
    for (int i = 0; i < count; ++i) {
        const int tag = dwarf_tag(&scopes[i]);
        if (function < 0 && (tag == DW_TAG_subprogram || tag == DW_TAG_inlined_subroutine))
            function = i;
        if (tag == DW_TAG_subprogram) {
            frameBaseScope = i;
            break;
        }
    }
    if (function < 0) {
        free(scopes);
        return;
    }

    EvalContext ctx;
    ctx.frame = &frame;
    ctx.pid = m_pid;
    ctx.bias = bias;
    Dwarf_Attribute attr;
    if (frameBaseScope >= 0 && dwarf_attr_integrate(&scopes[frameBaseScope], DW_AT_frame_base, &attr)) {
        Dwarf_Op* ops = nullptr;
        size_t length = 0;
        if (dwarf_getlocation_addr(&attr, pc - bias, &ops, &length, 1) == 1) {
            const Location base = Evaluate(ops, length, ctx);
            if (base.kind == Location::Memory) {
                ctx.frameBase = base.value;
                ctx.frameBaseKnown = true;
            } else if (base.kind == Location::Register) {
                ctx.frameBaseKnown = FrameRegister(frame, static_cast<unsigned>(base.value), &ctx.frameBase);
            }
        }
    }

    // Parameters first, then the locals from the function's own scope inwards.
    for (int pass = 0; pass < 2; ++pass) {
        for (int i = function; i >= 0; --i) {
            if (pass == 0 && i != function)
                break;
            Dwarf_Die child;
            if (dwarf_child(&scopes[i], &child) != 0)
                continue;
            do {
                const int tag = dwarf_tag(&child);
                if ((pass == 0 && tag != DW_TAG_formal_parameter) || (pass == 1 && tag != DW_TAG_variable))
                    continue;
                if (dwarf_hasattr(&child, DW_AT_declaration))
                    continue;
                VariableInfo info;
                const char* name = dwarf_diename(&child);
                info.name = name ? name : "";
                if (info.name.size() > kMaxNameLength)
                    info.name.resize(kMaxNameLength);
                info.parameter = tag == DW_TAG_formal_parameter;
                Dwarf_Die type;
                if (!TypeOf(&child, &type))
                    continue;
                info.type = MakeRef(&type, bias);
                info.size = TypeLength(info.type);
                if (!dwarf_attr_integrate(&child, DW_AT_location, &attr))
                    continue; // optimised away
                Dwarf_Op* ops = nullptr;
                size_t length = 0;
                if (dwarf_getlocation_addr(&attr, pc - bias, &ops, &length, 1) != 1)
                    continue; // not live at this address
                const Location where = Evaluate(ops, length, ctx);
                if (where.kind == Location::Unknown)
                    continue;
                info.inRegister = where.kind == Location::Register;
                info.frameRelative = where.registerRelative;
                info.address = where.value;
                visit(info);
            } while (dwarf_siblingof(&child, &child) == 0);
        }
    }
    free(scopes);
}

std::string CSymbolEngine::TypeName(TypeRef ref)
{
    Dwarf_Die die;
    if (!GetDie(ref, &die))
        return {};
    const int tag = dwarf_tag(&die);
    std::string name;
    if (tag == DW_TAG_member || tag == DW_TAG_variable || tag == DW_TAG_formal_parameter) {
        if (const char* own = dwarf_diename(&die))
            name = own;
    } else if (tag == DW_TAG_inheritance) {
        Dwarf_Die base;
        if (TypeOf(&die, &base))
            AppendTypeName(&base, name, 0);
    } else {
        AppendTypeName(&die, name, 0);
    }
    if (name.size() > kMaxTypeNameLength)
        name.resize(kMaxTypeNameLength);
    return name;
}

bool CSymbolEngine::TypeChildren(TypeRef ref, std::vector<TypeRef>& children, size_t maxChildren)
{
    children.clear();
    Dwarf_Die die;
    Dwarf_Die type;
    if (!GetDie(ref, &die) || !TypeOfEntry(&die, &type) || !IsRecordTag(dwarf_tag(&type)))
        return false;
    Dwarf_Die child;
    if (dwarf_child(&type, &child) != 0)
        return false;
    do {
        const int tag = dwarf_tag(&child);
        if (tag != DW_TAG_member && tag != DW_TAG_inheritance)
            continue;
        // Static members have no place in the object.
        if (dwarf_hasattr(&child, DW_AT_declaration) || dwarf_hasattr(&child, DW_AT_external))
            continue;
        children.push_back(MakeRef(&child, ref.bias));
    } while (children.size() < maxChildren && dwarf_siblingof(&child, &child) == 0);
    return !children.empty();
}

uint64_t CSymbolEngine::ChildOffset(TypeRef child)
{
    Dwarf_Die die;
    Dwarf_Attribute attr;
    if (!GetDie(child, &die) || !dwarf_attr(&die, DW_AT_data_member_location, &attr))
        return 0; // union members and the first base sit at the start
    Dwarf_Word offset = 0;
    if (dwarf_formudata(&attr, &offset) == 0)
        return offset;
    Dwarf_Op* ops = nullptr;
    size_t count = 0;
    if (dwarf_getlocation(&attr, &ops, &count) == 0 && count == 1 && ops[0].atom == DW_OP_plus_uconst)
        return ops[0].number;
    return 0;
}

TypeRef CSymbolEngine::TypeIdOf(TypeRef ref)
{
    Dwarf_Die die;
    Dwarf_Die type;
    if (!GetDie(ref, &die) || !TypeOfEntry(&die, &type))
        return {};
    const int tag = dwarf_tag(&type);
    if (tag == DW_TAG_pointer_type || tag == DW_TAG_reference_type || tag == DW_TAG_rvalue_reference_type
        || tag == DW_TAG_array_type) {
        Dwarf_Die inner;
        Dwarf_Die resolved;
        if (TypeOf(&type, &inner) && ResolveType(&inner, &resolved))
            return MakeRef(&resolved, ref.bias);
        return {};
    }
    if (tag == DW_TAG_enumeration_type) {
        Dwarf_Die inner;
        if (TypeOf(&type, &inner))
            return MakeRef(&inner, ref.bias);
        return {};
    }
    return MakeRef(&type, ref.bias);
}

uint64_t CSymbolEngine::TypeLength(TypeRef ref)
{
    Dwarf_Die die;
    Dwarf_Die type;
    if (!GetDie(ref, &die) || !TypeOfEntry(&die, &type))
        return 0;
    const int tag = dwarf_tag(&type);
    Dwarf_Attribute attr;
    Dwarf_Word size = 0;
    if (dwarf_attr(&type, DW_AT_byte_size, &attr) && dwarf_formudata(&attr, &size) == 0)
        return size;
    if (tag == DW_TAG_pointer_type || tag == DW_TAG_reference_type || tag == DW_TAG_rvalue_reference_type)
        return sizeof(void*);
    Dwarf_Word aggregate = 0;
    return dwarf_aggregate_size(&type, &aggregate) == 0 ? aggregate : 0;
}

int CSymbolEngine::BasicTypeOf(TypeRef ref)
{
    Dwarf_Die die;
    Dwarf_Die type;
    if (!GetDie(ref, &die) || !TypeOfEntry(&die, &type))
        return btNoType;
    switch (dwarf_tag(&type)) {
    case DW_TAG_base_type:
        return BasicTypeOfEncoding(&type);
    case DW_TAG_enumeration_type: {
        Dwarf_Die underlying;
        Dwarf_Die resolved;
        if (TypeOf(&type, &underlying) && ResolveType(&underlying, &resolved)
            && dwarf_tag(&resolved) == DW_TAG_base_type)
            return BasicTypeOfEncoding(&resolved);
        return btInt;
    }
    default:
        return btNoType;
    }
}

TypeRef CSymbolEngine::PointedRecord(TypeRef ref)
{
    Dwarf_Die die;
    Dwarf_Die type;
    if (!GetDie(ref, &die) || !TypeOfEntry(&die, &type))
        return {};
    const int tag = dwarf_tag(&type);
    if (tag != DW_TAG_pointer_type && tag != DW_TAG_reference_type && tag != DW_TAG_rvalue_reference_type)
        return {};
    Dwarf_Die inner;
    Dwarf_Die resolved;
    if (!TypeOf(&type, &inner) || !ResolveType(&inner, &resolved) || !IsRecordTag(dwarf_tag(&resolved)))
        return {};
    return MakeRef(&resolved, ref.bias);
}

bool CSymbolEngine::ReadMemory(uint64_t address, void* buffer, size_t size) const
{
    return m_pid > 0 && ReadProcessMemory(m_pid, address, buffer, size);
}

} // namespace taluvo::debug
