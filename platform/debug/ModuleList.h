// The modules (executable and shared libraries) mapped into a process, as the crash report and the
// minidump describe them: where each is loaded, how large its mapping is, and what identifies its
// file (the GNU build id, the soname and the version numbers its names carry).
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace taluvo::debug {

struct ModuleInfo {
    std::string path; // the mapped file as the kernel names it
    uint64_t base = 0; // start of the file's first mapping (its ELF header)
    uint64_t size = 0; // up to the end of the file's last mapping
    std::vector<uint8_t> buildId; // NT_GNU_BUILD_ID; empty when the file has none
    std::string soname; // DT_SONAME; empty for executables and unnamed libraries
};

// The ELF files mapped into process pid, the executable first, then in address order; empty when the maps cannot be
// read. Build id and soname come from the file on disk.
std::vector<ModuleInfo> ReadModules(pid_t pid);

// Build id and soname of an ELF file; false when it is no readable 64-bit ELF file.
bool ReadElfIdentity(const std::string& path, std::vector<uint8_t>& buildId, std::string& soname);

// The version numbers after ".so." in a library's name ("libQt6Core.so.6.4.2" gives 6, 4, 2, 0);
// all zero when the name carries none. Numbers beyond 65535 are cut to 16 bits.
void VersionFromLibraryName(const std::string& name, uint16_t words[4]);

// The module's file version (from the name of its file) and product version (from its soname;
// for a module without one, the file version again).
void ModuleVersions(const ModuleInfo& module, uint16_t fileVersion[4], uint16_t productVersion[4]);

// Lower-case hexadecimal of a build id, as readelf shows it.
std::string BuildIdText(const std::vector<uint8_t>& buildId);

} // namespace taluvo::debug
