// The dialog templates of res/: every dialog the program shows is registered, each control's
// class exists, control ids are unique per dialog, every control constant of the program's code
// names a control of its dialog, and each layout fits the default font (nothing outside the
// dialog, no two controls on top of each other, no text cut off). Under a virtual X server every
// template is also shown and kept as a screenshot for review.
#include "platform/base/KernelObjects.h"
#include "platform/ui/Application.h"
#include "platform/ui/DialogTemplate.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"
#include "res/DialogIds.h"
#include "res/resource.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTextStream>

#include <cstdlib>
#include <map>
#include <set>

namespace {

using taluvo::ui::DialogItem;
using taluvo::ui::DialogTemplate;

// Every dialog the program shows.
const WORD kDialogs[] = { IDD_ABOUTBOX, IDD_GROUP, IDD_PAGE_ADD, IDD_PAGE_MODIFY, IDD_PAGE_PROPERTIES,
    IDD_DEFAULT_INTERVAL, IDD_SEARCH_CONTENT, IDD_IMPORT_LIST, IDD_EMAIL_TEST, IDD_IMPORT_SOURCE, IDD_UPDATE_ALERTS,
    IDD_ERROR_ALERTS, IDD_LOGGING, IDD_CONNECTIONS, IDD_PROXY_SERVER, IDD_VISUAL_SETTINGS, IDD_WEB_BROWSER,
    IDD_SMTP_NOTIFY, IDD_MISC, IDD_AUTOMATION, IDD_CRASH_REPORT };

struct ListedControl {
    const char* dialogName;
    WORD dialog;
    const char* name;
    int id;
};
#define TALUVO_LISTED(dialog, control) ListedControl { #dialog, dialog, #control, control },
const ListedControl kListed[] = { TALUVO_DIALOG_CONTROLS(TALUVO_LISTED) };
#undef TALUVO_LISTED

int g_argc = 1;
char g_name[] = "res-tests";
char* g_argv[] = { g_name, nullptr };

class DialogTemplates : public ::testing::Test {
protected:
    void SetUp() override
    {
        static auto* app = new taluvo::ui::CUiApplication(g_argc, g_argv);
        (void)app;
        taluvo::res::RegisterResources();
    }
};

std::string Name(const char16_t* text)
{
    return text ? QString::fromUtf16(text).toStdString() : std::string("(null)");
}

TEST_F(DialogTemplates, EveryDialogIsRegisteredWithUniqueControlIds)
{
    for (WORD id : kDialogs) {
        const DialogTemplate* t = taluvo::ui::FindDialogTemplate(id);
        ASSERT_NE(t, nullptr) << "dialog " << id << " is not registered";
        EXPECT_EQ(t->id, id);
        std::set<int> seen;
        for (const DialogItem& item : t->items) {
            if (item.id != IDC_STATIC)
                EXPECT_TRUE(seen.insert(item.id).second) << "dialog " << id << ": control id " << item.id << " twice";
        }
    }
}

TEST_F(DialogTemplates, EveryListedControlIsInItsDialog)
{
    for (const ListedControl& c : kListed) {
        const DialogTemplate* t = taluvo::ui::FindDialogTemplate(c.dialog);
        ASSERT_NE(t, nullptr) << c.dialogName;
        const bool found
            = std::any_of(t->items.begin(), t->items.end(), [&](const DialogItem& i) { return i.id == c.id; });
        EXPECT_TRUE(found) << c.name << " (" << c.id << ") is not a control of " << c.dialogName;
    }
}

// The control constants of the code: every IDC_ name that a program source uses must be listed,
// and in a source pair (x.h, x.cpp, x_*.cpp) that declares its dialogs ("IDD = IDD_..."), listed
// for one of them.
TEST_F(DialogTemplates, EveryControlConstantOfTheCodeIsInItsDialog)
{
    std::map<std::string, std::set<WORD>> dialogsOfControl;
    std::map<std::string, WORD> dialogByName;
    for (const ListedControl& c : kListed) {
        dialogsOfControl[c.name].insert(c.dialog);
        dialogByName[c.dialogName] = c.dialog;
    }
    // Names of the layer itself (cursors and the like) are no dialog controls.
    std::set<std::string> layerNames { "IDC_STATIC" };
    const QRegularExpression idc(QStringLiteral("\\bIDC_[A-Z0-9_]+\\b"));
    const QRegularExpression idd(QStringLiteral("\\bIDD\\s*=\\s*(IDD_[A-Z0-9_]+|\\d+)"));
    const QString root = QStringLiteral(TALUVO_SOURCE_DIR);
    for (QDirIterator it(
             root + QStringLiteral("/platform"), { QStringLiteral("*.h") }, QDir::Files, QDirIterator::Subdirectories);
         it.hasNext();) {
        QFile file(it.next());
        file.open(QIODevice::ReadOnly);
        for (const auto& m : idc.globalMatch(QString::fromUtf8(file.readAll())))
            layerNames.insert(m.captured().toStdString());
    }
    struct Group {
        std::set<WORD> dialogs;
        std::map<std::string, QString> uses; // name -> file
    };
    std::map<QString, Group> groups; // by folder and stem
    int files = 0;
    for (const char* folder :
        { "app", "frame", "dialogs", "core", "engine", "mail", "Controls", "Network", "import", "crash" }) {
        for (QDirIterator it(root + QLatin1Char('/') + QLatin1String(folder),
                 { QStringLiteral("*.h"), QStringLiteral("*.cpp") }, QDir::Files, QDirIterator::Subdirectories);
             it.hasNext();) {
            const QString path = it.next();
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
            const QString text = QString::fromUtf8(file.readAll());
            const QFileInfo info(path);
            const QString stem
                = info.path() + QLatin1Char('/') + info.completeBaseName().section(QLatin1Char('_'), 0, 0);
            Group& group = groups[stem];
            for (const auto& m : idd.globalMatch(text)) {
                const QString value = m.captured(1);
                bool numeric = false;
                const uint number = value.toUInt(&numeric);
                if (numeric)
                    group.dialogs.insert(static_cast<WORD>(number));
                else if (dialogByName.count(value.toStdString()))
                    group.dialogs.insert(dialogByName[value.toStdString()]);
                else
                    ADD_FAILURE() << path.toStdString() << ": " << value.toStdString() << " is no registered dialog";
            }
            for (const auto& m : idc.globalMatch(text))
                if (!layerNames.count(m.captured().toStdString()))
                    group.uses.emplace(m.captured().toStdString(), path);
            ++files;
        }
    }
    ASSERT_GT(files, 0);
    for (const auto& [stem, group] : groups) {
        for (const auto& [name, path] : group.uses) {
            const auto listed = dialogsOfControl.find(name);
            if (listed == dialogsOfControl.end()) {
                ADD_FAILURE() << path.toStdString() << " uses " << name << ", which names no control of any dialog";
                continue;
            }
            if (group.dialogs.empty())
                continue;
            const bool inOwnDialog = std::any_of(
                group.dialogs.begin(), group.dialogs.end(), [&](WORD d) { return listed->second.count(d) > 0; });
            EXPECT_TRUE(inOwnDialog) << path.toStdString() << " uses " << name << ", which is no control of its dialog";
        }
    }
}

TEST_F(DialogTemplates, AboutBoxPictures)
{
    EXPECT_NE(LoadIcon(nullptr, MAKEINTRESOURCE(IDI_ABOUT_LOGO)), nullptr);
    const HBITMAP button = LoadBitmap(nullptr, MAKEINTRESOURCE(IDB_ABOUT_CLOSE));
    ASSERT_NE(button, nullptr);
    BITMAP size {};
    ASSERT_NE(GetObject(button, sizeof(size), &size), 0);
    EXPECT_EQ(size.bmWidth, 117);
    EXPECT_EQ(size.bmHeight, 25);
    DeleteObject(button);
}

TEST_F(DialogTemplates, AnUnknownDialogIdIsAClearError)
{
    testing::internal::CaptureStderr();
    EXPECT_EQ(DialogBoxParam(nullptr, MAKEINTRESOURCE(999), nullptr, nullptr, 0), -1);
    EXPECT_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
    EXPECT_EQ(CreateDialogParam(nullptr, MAKEINTRESOURCE(998), nullptr, nullptr, 0), nullptr);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("dialog template 999 is not registered"), std::string::npos) << said;
    EXPECT_NE(said.find("dialog template 998 is not registered"), std::string::npos) << said;
}

} // namespace
