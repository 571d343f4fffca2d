#include "platform/debug/ModuleList.h"
#include "platform/debug/SystemInfo.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstring>
#include <elf.h>
#include <link.h>
#include <map>
#include <unistd.h>

namespace {

using namespace taluvo::debug;

// The build ids of this process's objects as the dynamic loader sees them in memory, by load
// address: an oracle that shares nothing with reading the files.
int CollectBuildId(dl_phdr_info* info, size_t, void* data)
{
    auto& ids = *static_cast<std::map<uint64_t, std::string>*>(data);
    uint64_t lowest = UINT64_MAX;
    std::string id;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD && ph.p_vaddr < lowest)
            lowest = ph.p_vaddr;
        if (ph.p_type != PT_NOTE || !id.empty())
            continue;
        const auto* at = reinterpret_cast<const uint8_t*>(info->dlpi_addr + ph.p_vaddr);
        const uint8_t* end = at + ph.p_memsz;
        while (at + sizeof(ElfW(Nhdr)) <= end) {
            const auto* note = reinterpret_cast<const ElfW(Nhdr)*>(at);
            const uint8_t* name = at + sizeof(*note);
            const uint8_t* desc = name + ((note->n_namesz + 3) & ~3u);
            if (note->n_type == NT_GNU_BUILD_ID && note->n_namesz == 4 && std::memcmp(name, "GNU", 4) == 0)
                id = BuildIdText(std::vector<uint8_t>(desc, desc + note->n_descsz));
            at = desc + ((note->n_descsz + 3) & ~3u);
        }
    }
    if (lowest != UINT64_MAX)
        ids[(info->dlpi_addr + lowest) & ~uint64_t(4095)] = id;
    return 0;
}

TEST(ModuleList, OwnProcessListsTheProgramFirstThenItsLibrariesWithTheirIdentity)
{
    const std::vector<ModuleInfo> modules = ReadModules(getpid());
    ASSERT_GE(modules.size(), 3u);
    std::map<uint64_t, std::string> loaded;
    dl_iterate_phdr(CollectBuildId, &loaded);
    EXPECT_EQ(modules[0].path, ProcessExecutable(getpid()));
    EXPECT_TRUE(modules[0].soname.empty());
    EXPECT_TRUE(loaded.count(modules[0].base)) << "the program is where the loader put it";
    bool sawLibc = false;
    for (size_t i = 0; i < modules.size(); ++i) {
        const ModuleInfo& m = modules[i];
        SCOPED_TRACE(m.path);
        EXPECT_GT(m.size, 0u);
        EXPECT_EQ(m.base % 4096, 0u);
        ASSERT_TRUE(loaded.count(m.base)) << "every module is an object the loader mapped";
        EXPECT_EQ(BuildIdText(m.buildId), loaded[m.base]);
        if (i > 1) {
            EXPECT_GE(m.base, modules[i - 1].base + modules[i - 1].size) << "libraries in address order, apart";
        }
        sawLibc = sawLibc || m.soname == "libc.so.6";
    }
    EXPECT_TRUE(sawLibc);
    // Only images: nothing that is merely a mapped data file.
    for (const ModuleInfo& m : modules)
        EXPECT_EQ(m.path.find("locale-archive"), std::string::npos);
}

TEST(ModuleList, ElfIdentityOfFilesThatAreNoImages)
{
    taluvo::test::TempDir dir;
    taluvo::test::WriteFile(dir.File("text"),
        "\x7f"
        "ELF but not really");
    taluvo::test::WriteFile(dir.File("empty"), "");
    std::vector<uint8_t> id { 1 };
    std::string soname = "x";
    for (const std::string& path :
        { dir.File("text"), dir.File("empty"), dir.File("missing"), dir.File("text/under") }) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(ReadElfIdentity(path, id, soname));
        EXPECT_TRUE(id.empty());
        EXPECT_TRUE(soname.empty());
    }
}

TEST(ModuleList, VersionNumbersFollowSoInTheName)
{
    struct Case {
        const char* name;
        uint16_t words[4];
    };
    const Case cases[] = {
        { "/usr/lib/x86_64-linux-gnu/libQt6Core.so.6.4.2", { 6, 4, 2, 0 } },
        { "libc.so.6", { 6, 0, 0, 0 } },
        { "libx.so.1.2.3.4.5", { 1, 2, 3, 4 } },
        { "libx.so.70000", { 4464, 0, 0, 0 } }, // cut to 16 bits
        { "libx.so.1a", { 1, 0, 0, 0 } },
        { "libx.so.", { 0, 0, 0, 0 } },
        { "libfoo.so", { 0, 0, 0, 0 } },
        { "/opt/lib.so.5/program", { 0, 0, 0, 0 } }, // only the file's own name counts
        { "", { 0, 0, 0, 0 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        uint16_t words[4] = { 9, 9, 9, 9 };
        VersionFromLibraryName(c.name, words);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(words[i], c.words[i]) << i;
    }
    // A library's product version comes from its soname, its file version from its file.
    ModuleInfo m;
    m.path = "/usr/lib/libpcre2-8.so.0.11.2";
    m.soname = "libpcre2-8.so.0";
    uint16_t file[4], product[4];
    ModuleVersions(m, file, product);
    EXPECT_EQ(file[1], 11);
    EXPECT_EQ(product[0] + product[1] + product[2] + product[3], 0);
}

} // namespace
