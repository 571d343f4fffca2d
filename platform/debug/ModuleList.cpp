#include "platform/debug/ModuleList.h"

#include "platform/debug/ProcessMemory.h"
#include "platform/debug/SystemInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <map>

namespace taluvo::debug {

namespace {

// Notes are padded to four bytes in ELF64 files as well.
constexpr size_t NoteAlign(size_t n)
{
    return (n + 3) & ~size_t(3);
}

bool ReadAt(std::ifstream& in, uint64_t offset, void* buffer, size_t size)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return in.gcount() == static_cast<std::streamsize>(size);
}

bool FindBuildId(std::ifstream& in, const Elf64_Phdr& note, std::vector<uint8_t>& buildId)
{
    // A note segment is small; anything huge is a damaged file.
    if (note.p_filesz == 0 || note.p_filesz > (1u << 20))
        return false;
    std::vector<uint8_t> bytes(note.p_filesz);
    if (!ReadAt(in, note.p_offset, bytes.data(), bytes.size()))
        return false;
    size_t at = 0;
    while (at + sizeof(Elf64_Nhdr) <= bytes.size()) {
        Elf64_Nhdr header;
        std::memcpy(&header, bytes.data() + at, sizeof(header));
        const size_t nameAt = at + sizeof(header);
        const size_t descAt = nameAt + NoteAlign(header.n_namesz);
        if (descAt > bytes.size() || header.n_descsz > bytes.size() - descAt)
            return false;
        if (header.n_type == NT_GNU_BUILD_ID && header.n_namesz == 4
            && std::memcmp(bytes.data() + nameAt, "GNU", 4) == 0) {
            buildId.assign(bytes.begin() + static_cast<ptrdiff_t>(descAt),
                bytes.begin() + static_cast<ptrdiff_t>(descAt + header.n_descsz));
            return true;
        }
        at = descAt + NoteAlign(header.n_descsz);
    }
    return false;
}

// The file offset of a virtual address, through the load segment that holds it.
bool FileOffsetOf(const std::vector<Elf64_Phdr>& phdrs, uint64_t address, uint64_t& offset)
{
    for (const Elf64_Phdr& ph : phdrs) {
        if (ph.p_type == PT_LOAD && address >= ph.p_vaddr && address - ph.p_vaddr < ph.p_filesz) {
            offset = ph.p_offset + (address - ph.p_vaddr);
            return true;
        }
    }
    return false;
}

void FindSoname(std::ifstream& in, const std::vector<Elf64_Phdr>& phdrs, const Elf64_Phdr& dynamic, std::string& soname)
{
    if (dynamic.p_filesz == 0 || dynamic.p_filesz > (1u << 20))
        return;
    std::vector<Elf64_Dyn> entries(dynamic.p_filesz / sizeof(Elf64_Dyn));
    if (!ReadAt(in, dynamic.p_offset, entries.data(), entries.size() * sizeof(Elf64_Dyn)))
        return;
    uint64_t strtab = 0;
    uint64_t nameOffset = 0;
    bool haveName = false;
    for (const Elf64_Dyn& d : entries) {
        if (d.d_tag == DT_NULL)
            break;
        if (d.d_tag == DT_STRTAB)
            strtab = d.d_un.d_ptr;
        else if (d.d_tag == DT_SONAME) {
            nameOffset = d.d_un.d_val;
            haveName = true;
        }
    }
    uint64_t fileOffset = 0;
    if (!haveName || !FileOffsetOf(phdrs, strtab, fileOffset))
        return;
    char name[256];
    in.clear();
    in.seekg(static_cast<std::streamoff>(fileOffset + nameOffset));
    in.read(name, sizeof(name) - 1);
    name[in.gcount()] = '\0';
    soname = name;
}

} // namespace

bool ReadElfIdentity(const std::string& path, std::vector<uint8_t>& buildId, std::string& soname)
{
    buildId.clear();
    soname.clear();
    std::ifstream in(path, std::ios::binary);
    Elf64_Ehdr header {};
    if (!in || !ReadAt(in, 0, &header, sizeof(header)) || std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0
        || header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_phentsize != sizeof(Elf64_Phdr))
        return false;
    std::vector<Elf64_Phdr> phdrs(header.e_phnum);
    if (!phdrs.empty() && !ReadAt(in, header.e_phoff, phdrs.data(), phdrs.size() * sizeof(Elf64_Phdr)))
        return false;
    for (const Elf64_Phdr& ph : phdrs) {
        if (ph.p_type == PT_NOTE && buildId.empty())
            FindBuildId(in, ph, buildId);
        else if (ph.p_type == PT_DYNAMIC)
            FindSoname(in, phdrs, ph, soname);
    }
    return true;
}

std::vector<ModuleInfo> ReadModules(pid_t pid)
{
    std::vector<ModuleInfo> modules;
    std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
    std::string line;
    // Per file: the first mapping at offset 0 gives the base; every mapping of it extends the end.
    std::map<std::string, size_t> byPath;
    while (std::getline(maps, line)) {
        unsigned long long start = 0, end = 0, offset = 0, inode = 0;
        char perms[8] = "";
        char device[32] = "";
        int pathAt = 0;
        if (std::sscanf(
                line.c_str(), "%llx-%llx %7s %llx %31s %llu %n", &start, &end, perms, &offset, device, &inode, &pathAt)
                < 6
            || inode == 0 || pathAt <= 0 || static_cast<size_t>(pathAt) >= line.size())
            continue;
        const std::string path = line.substr(static_cast<size_t>(pathAt));
        if (path.empty() || path[0] != '/')
            continue;
        const auto found = byPath.find(path);
        if (found == byPath.end()) {
            if (offset != 0)
                continue; // a data file mapped in pieces, or a module whose header is not mapped
            ModuleInfo m;
            m.path = path;
            m.base = start;
            m.size = end - start;
            byPath.emplace(path, modules.size());
            modules.push_back(std::move(m));
        } else {
            ModuleInfo& m = modules[found->second];
            if (end > m.base + m.size)
                m.size = end - m.base;
        }
    }
    // Only ELF images are modules (fonts, locale archives and caches are mapped files too). The
    // header is looked for in memory, so a module whose file was replaced or deleted still counts.
    std::vector<ModuleInfo> elf;
    for (ModuleInfo& m : modules) {
        char magic[SELFMAG];
        if (!ReadProcessMemory(pid, m.base, magic, sizeof(magic)) || std::memcmp(magic, ELFMAG, SELFMAG) != 0)
            continue;
        ReadElfIdentity(m.path, m.buildId, m.soname);
        elf.push_back(std::move(m));
    }
    // The executable first, as readers of dumps take the first module for the program; the
    // libraries follow in address order.
    const std::string executable = ProcessExecutable(pid);
    std::sort(elf.begin(), elf.end(), [&](const ModuleInfo& a, const ModuleInfo& b) {
        const bool aMain = a.path == executable;
        const bool bMain = b.path == executable;
        return aMain != bMain ? aMain : a.base < b.base;
    });
    return elf;
}

void VersionFromLibraryName(const std::string& name, uint16_t words[4])
{
    for (int i = 0; i < 4; ++i)
        words[i] = 0;
    const size_t slash = name.rfind('/');
    const std::string file = slash == std::string::npos ? name : name.substr(slash + 1);
    const size_t so = file.rfind(".so.");
    if (so == std::string::npos)
        return;
    size_t at = so + 4;
    for (int i = 0; i < 4 && at < file.size(); ++i) {
        if (file[at] < '0' || file[at] > '9')
            return;
        unsigned long value = 0;
        while (at < file.size() && file[at] >= '0' && file[at] <= '9') {
            value = std::min<unsigned long>(value * 10 + static_cast<unsigned long>(file[at] - '0'), 1ul << 32);
            ++at;
        }
        words[i] = static_cast<uint16_t>(value);
        if (at < file.size() && file[at] != '.')
            return;
        ++at;
    }
}

void ModuleVersions(const ModuleInfo& module, uint16_t fileVersion[4], uint16_t productVersion[4])
{
    VersionFromLibraryName(module.path, fileVersion);
    VersionFromLibraryName(module.soname.empty() ? module.path : module.soname, productVersion);
}

std::string BuildIdText(const std::vector<uint8_t>& buildId)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : buildId) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

} // namespace taluvo::debug
