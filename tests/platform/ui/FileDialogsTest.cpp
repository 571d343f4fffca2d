// The open-file and folder dialogs: filters as the dialog reads them ("*.*" takes files without a
// dot), the default extension, answers from the test hook, and a cancel without a display.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/FileDialogs.h"
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileDialog>
#include <QFileSystemModel>

namespace {

using taluvo::ui::test::FileDialogRequest;
using taluvo::ui::test::ScopedFileDialogHook;

constexpr char16_t kSoundFilter[] = u"WAV files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";

class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override { taluvo::test::EnsureUiApplication(); }
};

TEST_F(FileDialogs, FiltersBecomeTheDialogsNameFilters)
{
    EXPECT_EQ(taluvo::ui::FileDialogNameFilters(kSoundFilter),
        (QStringList { QStringLiteral("WAV files (*.wav) (*.wav)"), QStringLiteral("All Files (*.*) (*)") }));
    EXPECT_EQ(taluvo::ui::FileDialogNameFilters(u"Pictures\0*.png; *.jpg\0\0"),
        QStringList { QStringLiteral("Pictures (*.png *.jpg)") });
    EXPECT_TRUE(taluvo::ui::FileDialogNameFilters(nullptr).isEmpty());
    EXPECT_TRUE(taluvo::ui::FileDialogNameFilters(u"Description without patterns\0").isEmpty());
}

TEST_F(FileDialogs, AllFilesShowsFilesWithoutADot)
{
    taluvo::test::TempDir dir;
    taluvo::test::WriteFile(dir.File("README"), "x");
    taluvo::test::WriteFile(dir.File("alert.wav"), "x");
    const QStringList filters = taluvo::ui::FileDialogNameFilters(kSoundFilter);
    QFileDialog dialog(nullptr, QString(), QString::fromStdString(dir.Path()));
    dialog.setOptions(QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setNameFilters(filters);
    auto* model = dialog.findChild<QFileSystemModel*>();
    ASSERT_NE(model, nullptr);
    const QModelIndex folder = model->index(QString::fromStdString(dir.Path()));
    // The names the user can pick, as the dialog's model lists them (files a filter rejects are
    // left out or greyed).
    auto pickable = [&] {
        QStringList names;
        for (int row = 0; row < model->rowCount(folder); ++row) {
            const QModelIndex index = model->index(row, 0, folder);
            if (model->flags(index) & Qt::ItemIsEnabled)
                names.push_back(model->fileName(index));
        }
        names.sort();
        return names;
    };
    auto waitFor = [&](const QStringList& expected) {
        QDeadlineTimer deadline(10000);
        while (pickable() != expected && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        return pickable();
    };
    dialog.selectNameFilter(filters[1]);
    const QStringList all { QStringLiteral("README"), QStringLiteral("alert.wav") };
    EXPECT_EQ(waitFor(all), all) << "a file without a dot is not offered under \"*.*\"";
    dialog.selectNameFilter(filters[0]);
    EXPECT_EQ(waitFor({ QStringLiteral("alert.wav") }), QStringList { QStringLiteral("alert.wav") });
}

TEST_F(FileDialogs, DefaultExtensionOnlyForANewNameWithoutOne)
{
    taluvo::test::TempDir dir;
    taluvo::test::WriteFile(dir.File("README"), "x");
    const QString base = QString::fromStdString(dir.Path());
    struct Case {
        QString chosen;
        QString result;
    };
    const Case cases[] = {
        { base + QStringLiteral("/alert"), base + QStringLiteral("/alert.wav") },
        { base + QStringLiteral("/README"), base + QStringLiteral("/README") }, // exists as it is
        { base + QStringLiteral("/alert.mp3"), base + QStringLiteral("/alert.mp3") },
        { base + QStringLiteral("/some.dir/alert"), base + QStringLiteral("/some.dir/alert.wav") },
        { QString(), QString() },
    };
    for (const Case& c : cases)
        EXPECT_EQ(taluvo::ui::WithDefaultExtension(c.chosen, QStringLiteral("wav")), c.result)
            << c.chosen.toStdString();
    EXPECT_EQ(
        taluvo::ui::WithDefaultExtension(base + QStringLiteral("/alert"), QString()), base + QStringLiteral("/alert"));
}

TEST_F(FileDialogs, HookAnswersTheOpenFileDialog)
{
    taluvo::test::TempDir dir;
    std::vector<FileDialogRequest> seen;
    QString answer = QString::fromStdString(dir.File("chosen"));
    ScopedFileDialogHook hook([&](const FileDialogRequest& r) {
        seen.push_back(r);
        return answer;
    });
    const HWND owner
        = CreateWindowEx(0, u"#32770", u"owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    CFileDialog dialog(TRUE, u"wav", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, kSoundFilter);
    ASSERT_EQ(dialog.DoModal(owner), IDOK);
    EXPECT_EQ(dialog.m_szFileName, answer + QStringLiteral(".wav"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, FileDialogRequest::Kind::OpenFile);
    EXPECT_EQ(seen[0].owner, owner);
    EXPECT_EQ(seen[0].nameFilters, taluvo::ui::FileDialogNameFilters(kSoundFilter));
    EXPECT_EQ(seen[0].defaultExtension, QStringLiteral("wav"));
    // Cancel keeps what the dialog held.
    answer = QString();
    EXPECT_EQ(dialog.DoModal(owner), IDCANCEL);
    EXPECT_EQ(dialog.m_szFileName, QString::fromStdString(dir.File("chosen.wav")));
    DestroyWindow(owner);
}

TEST_F(FileDialogs, HookAnswersTheFolderBrowser)
{
    taluvo::test::TempDir dir;
    std::vector<FileDialogRequest> seen;
    ScopedFileDialogHook hook([&](const FileDialogRequest& r) {
        seen.push_back(r);
        return QString::fromStdString(dir.Path()) + QStringLiteral("/logs/../");
    });
    CFolderDialog dialog(
        nullptr, u"Please select LOG file path:", BIF_RETURNONLYFSDIRS | BIF_RETURNFSANCESTORS | BIF_NONEWFOLDERBUTTON);
    dialog.SetRootFolder(CSIDL_DRIVES);
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.GetFolderPath(), QString::fromStdString(dir.Path()));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].kind, FileDialogRequest::Kind::Folder);
    EXPECT_EQ(seen[0].title, QStringLiteral("Please select LOG file path:"));
    EXPECT_EQ(seen[0].folder, QStringLiteral("/"));
}

TEST_F(FileDialogs, WithoutADisplayBothAreCancelledAndSaySo)
{
    testing::internal::CaptureStderr();
    CFileDialog file(TRUE, u"exe", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
        u"Executable files (*.exe)\0*.exe\0All Files (*.*)\0*.*\0");
    EXPECT_EQ(file.DoModal(nullptr), IDCANCEL);
    EXPECT_TRUE(file.m_szFileName.isEmpty());
    CFolderDialog folder(nullptr, u"Please select LOG file path:");
    EXPECT_EQ(folder.DoModal(nullptr), IDCANCEL);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("no display: open-file dialog \"\" cancelled"), std::string::npos) << said;
    EXPECT_NE(said.find("no display: folder dialog \"Please select LOG file path:\" cancelled"), std::string::npos)
        << said;
}

} // namespace
