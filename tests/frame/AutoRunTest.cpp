// The autostart entry that starts the program with the user's session.
#include "tests/frame/FrameTestSupport.h"

#include "core/Mutex.h"
#include "core/db/Database.h"
#include "core/prefs/Preferences.h"
#include "frame/AutoRun.h"
#include "platform/base/Process.h"

#include <QFile>

#include <unistd.h>

using namespace taluvo::test;

namespace {

TEST_F(MainFrameTest, AutoRunEntryIsAddedAndRemoved)
{
    TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    const std::string entry = config.File("autostart/taluvo.desktop");
    EXPECT_EQ(AutoRunEntryPath().toStdString(), entry);

    ManageAutoRun(TRUE);
    const std::string text = ReadFile(entry);
    EXPECT_NE(text.find("[Desktop Entry]\nType=Application\nName=Taluvo\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Exec=\"" + taluvo::ExecutablePath().toStdString() + "\"\n"), std::string::npos) << text;
    ManageAutoRun(TRUE); // again: the same entry
    EXPECT_EQ(ReadFile(entry), text);

    ManageAutoRun(FALSE);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(entry)));
    ManageAutoRun(FALSE); // nothing to remove is no error
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MainFrameTest, AutoRunFolderThatCannotBeMadeIsReported)
{
    const std::string file = HomeDir() + "/plain-config";
    WriteFile(file, "x");
    ::setenv("XDG_CONFIG_HOME", file.c_str(), 1);
    ManageAutoRun(TRUE);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith(QStringLiteral("Error.: Unable to open autostart folder.")));
}

// "Start with the desktop session" is ticked from the first start on: that start writes the entry
// it stands for. A start over an existing database leaves the entry to the user's choices.
TEST_F(MainFrameTest, AFirstStartWithTheBoxTickedWritesTheEntry)
{
    TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    const std::string entry = config.File("autostart/taluvo.desktop");
    ::unlink(DatabasePath().c_str());
    ASSERT_TRUE(g_prefs.GetParam(kRunWithWindows)->GetBool());
    ASSERT_TRUE(Create());
    EXPECT_NE(ReadFile(entry).find("Exec=\"" + taluvo::ExecutablePath().toStdString() + "\"\n"), std::string::npos)
        << "no entry at " << entry;
    EXPECT_TRUE(m_messages.empty());
}

TEST_F(MainFrameTest, AStartOverStoredSettingsWritesNoEntry)
{
    TempDir config;
    ::setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
    ::unlink(DatabasePath().c_str());
    {
        // Settings stored by an earlier run, the box still ticked.
        CSqlDatabase db;
        db.open(DatabasePath().c_str());
        CMutex lock;
        CPreferences prefs;
        CheckDb(db, lock, prefs);
        ASSERT_TRUE(SavePrefs(db, lock, prefs));
    }
    ASSERT_TRUE(Create());
    EXPECT_FALSE(QFile::exists(QString::fromStdString(config.File("autostart/taluvo.desktop"))));
}

} // namespace
