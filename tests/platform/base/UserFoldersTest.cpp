#include "platform/base/UserFolders.h"
#include "platform/base/FileStatus.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

using namespace taluvo;

namespace {

// Sets or (with nullopt) removes a variable for the scope, putting the old value back after.
class CScopedVariable {
public:
    CScopedVariable(const char* name, const std::optional<std::string>& value)
        : m_name(name)

    {
        if (const char* old = std::getenv(name))
            m_old = old;
        Apply(value);
    }
    ~CScopedVariable() { Apply(m_old); }
    CScopedVariable(const CScopedVariable&) = delete;
    CScopedVariable& operator=(const CScopedVariable&) = delete;

private:
    void Apply(const std::optional<std::string>& value)
    {
        if (value)
            setenv(m_name, value->c_str(), 1);
        else
            unsetenv(m_name);
    }
    const char* m_name;
    std::optional<std::string> m_old;
};

} // namespace

// The autostart entry, the browser lookup and the program's folder all ask here, so a relative
// XDG variable must be ignored the same way for each of them.
TEST(UserFolders, XdgFoldersTakeAbsoluteVariablesOnlyAndFallBackUnderHome)
{
    struct Case {
        const char* label;
        std::optional<std::string> variable;
        const char* config; // expected, "~" standing for the home folder
        const char* data;
    };
    const Case cases[] = {
        { "unset", std::nullopt, "~/.config", "~/.local/share" },
        { "empty", "", "~/.config", "~/.local/share" },
        { "relative", "relative/place", "~/.config", "~/.local/share" },
        { "absolute", "/srv/x/", "/srv/x", "/srv/x" },
    };
    const CScopedVariable home("HOME", "/home/someone//");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const CScopedVariable config("XDG_CONFIG_HOME", c.variable);
        const CScopedVariable data("XDG_DATA_HOME", c.variable);
        auto expected = [](const char* text) {
            QString s = QString::fromUtf8(text);
            return s.startsWith(u'~') ? QStringLiteral("/home/someone") + s.mid(1) : s;
        };
        EXPECT_EQ(UserHomeFolder(), QStringLiteral("/home/someone"));
        EXPECT_EQ(UserConfigHome(), expected(c.config));
        EXPECT_EQ(UserDataHome(), expected(c.data));
    }
}

TEST(UserFolders, HomeComesFromTheAccountWithoutHome)
{
    const CScopedVariable home("HOME", std::nullopt);
    const QString folder = UserHomeFolder();
    ASSERT_FALSE(folder.isEmpty());
    SFileStatus status;
    EXPECT_TRUE(GetFileStatus(folder.toStdString(), status) && status.folder) << folder.toStdString();
}

TEST(FileStatus, KindSizeAndIdentity)
{
    test::TempDir dir;
    test::WriteFile(dir.File("five"), "12345");
    SFileStatus file, folder, again;
    ASSERT_TRUE(GetFileStatus(dir.File("five"), file));
    EXPECT_TRUE(file.regular);
    EXPECT_FALSE(file.folder);
    EXPECT_EQ(file.size, 5u);
    EXPECT_GT(file.modified, 0);
    ASSERT_TRUE(GetFileStatus(dir.Path(), folder));
    EXPECT_TRUE(folder.folder);
    ASSERT_TRUE(GetFileStatus(dir.Path() + "/.", again));
    EXPECT_EQ(again.device, folder.device);
    EXPECT_EQ(again.node, folder.node);
    EXPECT_NE(file.node, folder.node);
    EXPECT_FALSE(GetFileStatus(dir.File("missing"), again));
    EXPECT_FALSE(GetFileStatus(dir.File("five/below"), again)); // a file used as a folder
    EXPECT_FALSE(GetFileStatus("", again));
}

TEST(FileStatus, WritableFolderIsAFolderOnly)
{
    test::TempDir dir;
    test::WriteFile(dir.File("file"), "x");
    EXPECT_TRUE(IsWritableFolder(dir.Path()));
    EXPECT_FALSE(IsWritableFolder(dir.File("file")));
    EXPECT_FALSE(IsWritableFolder(dir.File("missing")));
    EXPECT_FALSE(IsWritableFolder(dir.File("file/below"))); // a file used as a folder
}
