#include "platform/debug/ProcessMemory.h"

#include "platform/debug/SafeText.h"

#include <cerrno>
#include <elf.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace taluvo::debug {

bool ReadProcessMemory(pid_t pid, uint64_t address, void* buffer, size_t size)
{
    if (size == 0)
        return true;
    iovec local { buffer, size };
    iovec remote { reinterpret_cast<void*>(address), size };
    const ssize_t n = process_vm_readv(pid, &local, 1, &remote, 1, 0);
    return n == static_cast<ssize_t>(size);
}

bool ReadStringChecked(pid_t pid, uint64_t address, char* text, size_t count)
{
    text[0] = '\0';
    if (address == 0)
        return false;
    // Read page by page: the text may end just before an unreadable page.
    size_t got = 0;
    while (got < count) {
        const uint64_t at = address + got;
        const size_t pageLeft = 4096 - static_cast<size_t>(at & 4095);
        size_t chunk = count - got < pageLeft ? count - got : pageLeft;
        if (!ReadProcessMemory(pid, at, text + got, chunk)) {
            text[got] = '\0';
            return false;
        }
        for (size_t i = 0; i < chunk; ++i) {
            if (text[got + i] == '\0')
                return true;
        }
        got += chunk;
    }
    text[count] = '\0';
    return true;
}

namespace {

// One line of /proc/<pid>/maps: "start-end perms offset dev inode   path".
struct MapsLine {
    uint64_t start = 0;
    uint64_t end = 0;
    uint64_t offset = 0;
    const char* path = nullptr; // inside the line buffer; empty for anonymous mappings
};

uint64_t ParseHex(const char*& p)
{
    uint64_t value = 0;
    for (;; ++p) {
        const char c = *p;
        if (c >= '0' && c <= '9')
            value = value * 16 + static_cast<uint64_t>(c - '0');
        else if (c >= 'a' && c <= 'f')
            value = value * 16 + static_cast<uint64_t>(c - 'a' + 10);
        else
            return value;
    }
}

void SkipField(const char*& p)
{
    while (*p && *p != ' ')
        ++p;
    while (*p == ' ')
        ++p;
}

bool ParseMapsLine(const char* line, MapsLine* out)
{
    const char* p = line;
    out->start = ParseHex(p);
    if (*p != '-')
        return false;
    ++p;
    out->end = ParseHex(p);
    while (*p == ' ')
        ++p;
    SkipField(p); // permissions
    out->offset = ParseHex(p);
    while (*p == ' ')
        ++p;
    SkipField(p); // device
    SkipField(p); // inode
    out->path = p;
    return true;
}

// Reads the maps file line by line into a fixed buffer and calls visit(line) for each; stops
// when visit returns false. Lines longer than the buffer are cut.
template <typename Visit> void ForEachMapsLine(pid_t pid, Visit visit)
{
    char name[64];
    SafeText path(name, sizeof(name));
    path.Append("/proc/").AppendDecimal(pid).Append("/maps");
    const int fd = open(name, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char chunk[4096];
    char line[4096 + 64];
    size_t lineLength = 0;
    bool going = true;
    while (going) {
        const ssize_t n = read(fd, chunk, sizeof(chunk));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        for (ssize_t i = 0; i < n && going; ++i) {
            if (chunk[i] == '\n') {
                line[lineLength] = '\0';
                going = visit(line);
                lineLength = 0;
            } else if (lineLength + 1 < sizeof(line)) {
                line[lineLength++] = chunk[i];
            }
        }
    }
    close(fd);
}

void CopyText(char* to, size_t capacity, const char* from)
{
    SafeText text(to, capacity);
    text.Append(from);
}

} // namespace

bool LocateAddressInModule(
    pid_t pid, uint64_t address, char* path, size_t pathCapacity, unsigned* segment, uint64_t* offset)
{
    // The module's ELF header sits at the start of its mapping with file offset 0, which the
    // maps list before any later mapping of the same file.
    char basePath[4096];
    basePath[0] = '\0';
    uint64_t base = 0;
    bool found = false;
    bool haveBase = false;
    ForEachMapsLine(pid, [&](const char* line) {
        MapsLine m;
        if (!ParseMapsLine(line, &m) || m.path[0] == '\0' || m.path[0] == '[')
            return true;
        if (m.offset == 0) {
            CopyText(basePath, sizeof(basePath), m.path);
            base = m.start;
        }
        if (address >= m.start && address < m.end) {
            found = true;
            if (path && pathCapacity > 0)
                CopyText(path, pathCapacity, m.path);
            haveBase = SafeStrEqual(basePath, m.path);
            return false;
        }
        return true;
    });
    if (!found || !haveBase)
        return false;

    Elf64_Ehdr header;
    if (!ReadProcessMemory(pid, base, &header, sizeof(header)) || header.e_ident[EI_MAG0] != ELFMAG0
        || header.e_ident[EI_MAG1] != ELFMAG1 || header.e_ident[EI_MAG2] != ELFMAG2
        || header.e_ident[EI_MAG3] != ELFMAG3 || header.e_ident[EI_CLASS] != ELFCLASS64
        || header.e_phentsize != sizeof(Elf64_Phdr))
        return false;

    // The load bias: where the first load segment was placed against the address it asks for.
    uint64_t bias = 0;
    bool biasKnown = false;
    unsigned loadIndex = 0;
    for (unsigned i = 0; i < header.e_phnum && i < 256; ++i) {
        Elf64_Phdr ph;
        if (!ReadProcessMemory(pid, base + header.e_phoff + i * sizeof(Elf64_Phdr), &ph, sizeof(ph)))
            return false;
        if (ph.p_type != PT_LOAD)
            continue;
        ++loadIndex;
        if (!biasKnown) {
            bias = header.e_type == ET_DYN ? base - (ph.p_vaddr & ~(ph.p_align ? ph.p_align - 1 : 0)) : 0;
            biasKnown = true;
        }
        const uint64_t relative = address - bias;
        const uint64_t size = ph.p_memsz > ph.p_filesz ? ph.p_memsz : ph.p_filesz;
        if (relative >= ph.p_vaddr && relative <= ph.p_vaddr + size) {
            *segment = loadIndex;
            *offset = relative - ph.p_vaddr;
            return true;
        }
    }
    return false;
}

pid_t TracerOf(pid_t pid)
{
    char name[64];
    SafeText path(name, sizeof(name));
    path.Append("/proc/").AppendDecimal(pid).Append("/status");
    pid_t tracer = 0;
    {
        const int fd = open(name, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 0;
        char buffer[8192];
        ssize_t total = 0;
        for (;;) {
            const ssize_t n = read(fd, buffer + total, sizeof(buffer) - 1 - static_cast<size_t>(total));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            total += n;
        }
        close(fd);
        buffer[total] = '\0';
        static constexpr char kKey[] = "\nTracerPid:";
        for (ssize_t i = 0; i + static_cast<ssize_t>(sizeof(kKey)) - 1 <= total; ++i) {
            size_t k = 0;
            while (kKey[k] && buffer[i + static_cast<ssize_t>(k)] == kKey[k])
                ++k;
            if (kKey[k] != '\0')
                continue;
            const char* p = buffer + i + k;
            while (*p == ' ' || *p == '\t')
                ++p;
            while (*p >= '0' && *p <= '9')
                tracer = tracer * 10 + (*p++ - '0');
            break;
        }
    }
    return tracer;
}

} // namespace taluvo::debug
