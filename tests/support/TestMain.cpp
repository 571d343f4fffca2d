// Test entry: every test process works in its own program folder, runtime folder and config
// folder, so tests never see each other's database, trace file, single-instance lock or
// autostart entry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::string MakeProcessFolder()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/taluvo-test-XXXXXX";
    if (!mkdtemp(pattern.data()))
        return {};
    return pattern;
}

} // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    std::string folder;
    if (!std::getenv("TALUVO_TEST_KEEP_ENV")) {
        folder = MakeProcessFolder();
        if (!folder.empty()) {
            setenv("TALUVO_HOME", folder.c_str(), 1);
            setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
            // A first start writes the autostart entry: it belongs to the test, not to the user.
            setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        }
    }
    const int result = RUN_ALL_TESTS();
    if (!folder.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return result;
}
