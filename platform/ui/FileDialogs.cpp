#include "platform/ui/FileDialogs.h"

#include "platform/ui/detail/Core.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <cstdio>
#include <mutex>

using taluvo::ui::test::FileDialogHook;
using taluvo::ui::test::FileDialogRequest;

namespace {

std::mutex g_hookLock;
FileDialogHook g_fileDialogHook;

QString Text(const char16_t* text)
{
    return text ? QString::fromUtf16(text) : QString();
}

const char* KindName(FileDialogRequest::Kind kind)
{
    switch (kind) {
    case FileDialogRequest::Kind::OpenFile:
        return "open-file";
    case FileDialogRequest::Kind::SaveFile:
        return "save-file";
    case FileDialogRequest::Kind::Folder:
        return "folder";
    }
    return "file";
}

// What the user picked, or a null string: from the test hook, from nobody (no display: cancelled
// with a line on stderr), or from Qt's dialog in a modal loop of the layer, so sends from other
// threads are served meanwhile and a shutdown ends it as a cancel.
QString Ask(const FileDialogRequest& request, QFileDialog::FileMode mode, QFileDialog::Options options)
{
    using namespace taluvo::ui;
    using namespace taluvo::ui::detail;
    EnsureUiSetup();
    FileDialogHook hook;
    {
        std::lock_guard<std::mutex> guard(g_hookLock);
        hook = g_fileDialogHook;
    }
    if (hook)
        return hook(request);
    if (IsHeadless() || !IsUiThread()) {
        std::fprintf(stderr, "taluvo: no display: %s dialog \"%s\" cancelled\n", KindName(request.kind),
            qPrintable(request.title));
        std::fflush(stderr);
        return {};
    }
    const auto owner = Find(request.owner);
    QWidget* parent = owner && owner->widget ? owner->widget->window() : nullptr;
    QFileDialog dialog(parent, request.title, request.folder);
    dialog.setOptions(options | QFileDialog::DontUseNativeDialog | QFileDialog::HideNameFilterDetails);
    dialog.setFileMode(mode);
    dialog.setAcceptMode(
        request.kind == FileDialogRequest::Kind::SaveFile ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (QFileInfo(request.folder).isFile() || (!request.folder.isEmpty() && !QFileInfo(request.folder).exists()))
        dialog.selectFile(request.folder);
    dialog.setWindowModality(Qt::ApplicationModal);
    bool finished = false;
    QObject::connect(&dialog, &QDialog::finished, [&finished] { finished = true; });
    dialog.open();
    if (!RunModalLoop([&finished] { return finished; })) {
        dialog.reject();
        return {};
    }
    const QStringList chosen = dialog.selectedFiles();
    return dialog.result() == QDialog::Accepted && !chosen.isEmpty() ? chosen.front() : QString();
}

} // namespace

namespace taluvo::ui {

QStringList FileDialogNameFilters(const char16_t* filter)
{
    QStringList filters;
    if (!filter)
        return filters;
    QStringList parts;
    for (const char16_t* p = filter; *p; p += std::char_traits<char16_t>::length(p) + 1)
        parts.push_back(QString::fromUtf16(p));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts))
            patterns.push_back(pattern.trimmed() == QLatin1String("*.*") ? QStringLiteral("*") : pattern.trimmed());
        // The dialog reads the patterns from the last bracket and shows only what precedes it.
        filters.push_back(parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')'));
    }
    return filters;
}

QString WithDefaultExtension(const QString& chosen, const QString& defExt)
{
    if (chosen.isEmpty() || defExt.isEmpty())
        return chosen;
    const QFileInfo info(chosen);
    if (info.exists() || info.fileName().contains(QLatin1Char('.')))
        return chosen;
    return chosen + QLatin1Char('.') + defExt;
}

} // namespace taluvo::ui

namespace taluvo::ui::test {

FileDialogHook SetFileDialogHook(FileDialogHook hook)
{
    std::lock_guard<std::mutex> guard(g_hookLock);
    std::swap(g_fileDialogHook, hook);
    return hook;
}

} // namespace taluvo::ui::test

CFileDialog::CFileDialog(BOOL bOpenFileDialog, const char16_t* defExt, const char16_t* fileName, DWORD flags,
    const char16_t* filter, HWND parent)
    : m_szFileName(Text(fileName))
    , m_open(bOpenFileDialog != FALSE)
    , m_defExt(Text(defExt))
    , m_flags(flags)
    , m_filters(taluvo::ui::FileDialogNameFilters(filter))
    , m_parent(parent)
{
}

INT_PTR CFileDialog::DoModal(HWND owner)
{
    FileDialogRequest request;
    request.kind = m_open ? FileDialogRequest::Kind::OpenFile : FileDialogRequest::Kind::SaveFile;
    request.owner = owner ? owner : m_parent;
    request.title = m_szTitle;
    request.nameFilters = m_filters;
    request.defaultExtension = m_defExt;
    request.folder = m_szFileName;
    QFileDialog::Options options;
    if (!(m_flags & OFN_OVERWRITEPROMPT))
        options |= QFileDialog::DontConfirmOverwrite;
    // Without OFN_FILEMUSTEXIST an open dialog takes a name that does not exist yet, as on Windows.
    const QFileDialog::FileMode mode
        = m_open && (m_flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile;
    const QString chosen = Ask(request, mode, options);
    if (chosen.isEmpty())
        return IDCANCEL;
    m_szFileName = QFileInfo(taluvo::ui::WithDefaultExtension(chosen, m_defExt)).absoluteFilePath();
    return IDOK;
}

CFolderDialog::CFolderDialog(HWND parent, const char16_t* title, UINT flags)
    : m_parent(parent)
    , m_title(Text(title))
    , m_flags(flags)
{
}

void CFolderDialog::SetRootFolder(int csidl)
{
    if (csidl == CSIDL_DRIVES)
        m_folder = QDir::rootPath();
}

INT_PTR CFolderDialog::DoModal(HWND owner)
{
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Folder;
    request.owner = owner ? owner : m_parent;
    request.title = m_title;
    request.folder = m_folder.isEmpty() ? QDir::homePath() : m_folder;
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    if (m_flags & BIF_NONEWFOLDERBUTTON)
        options |= QFileDialog::ReadOnly;
    const QString chosen = Ask(request, QFileDialog::Directory, options);
    if (chosen.isEmpty())
        return IDCANCEL;
    m_path = QDir::cleanPath(QFileInfo(chosen).absoluteFilePath());
    return IDOK;
}
