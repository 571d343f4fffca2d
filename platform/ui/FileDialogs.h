// The open-file dialog and the folder browser, on Qt's own dialogs (the same on every desktop).
// Like message boxes they answer a test hook when one is installed, and without a display they
// are cancelled with a line on standard error, so nothing ever waits for a user who is not there.
//
//     CFileDialog dlg(TRUE, u"wav", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
//                     u"WAV files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0");
//     if (dlg.DoModal() == IDOK) path = dlg.m_szFileName;
//
//     CFolderDialog folder(m_hWnd, u"Please select LOG file path:", BIF_RETURNONLYFSDIRS);
//     folder.SetRootFolder(CSIDL_DRIVES);
//     if (folder.DoModal() == IDOK) path = folder.GetFolderPath();
#pragma once

#include "platform/ui/UserApi.h"

#include <QString>
#include <QStringList>

#include <functional>

constexpr DWORD OFN_OVERWRITEPROMPT = 0x00000002;
constexpr DWORD OFN_HIDEREADONLY = 0x00000004;
constexpr DWORD OFN_PATHMUSTEXIST = 0x00000800;
constexpr DWORD OFN_FILEMUSTEXIST = 0x00001000;

constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;
constexpr UINT BIF_RETURNFSANCESTORS = 0x0008;
constexpr UINT BIF_NONEWFOLDERBUTTON = 0x0200;

constexpr int CSIDL_DRIVES = 0x0011; // the computer's drives: the root of the file system

class CFileDialog {
public:
    // filter: pairs of a description and its patterns (several joined by ';'), each NUL-ended,
    // the list ended by a second NUL. "*.*" means every file, with or without a dot. defExt is
    // added (after a dot) to a chosen name that does not exist and has no extension.
    CFileDialog(BOOL bOpenFileDialog, const char16_t* defExt = nullptr, const char16_t* fileName = nullptr,
        DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char16_t* filter = nullptr, HWND parent = nullptr);

    // IDOK with the full path in m_szFileName, or IDCANCEL (m_szFileName unchanged).
    INT_PTR DoModal(HWND owner = GetActiveWindow());

    QString m_szFileName;
    QString m_szTitle; // the dialog's caption; empty: the usual "Open" or "Save As"

private:
    bool m_open;
    QString m_defExt;
    DWORD m_flags;
    QStringList m_filters;
    HWND m_parent;
};

class CFolderDialog {
public:
    explicit CFolderDialog(HWND parent = nullptr, const char16_t* title = nullptr, UINT flags = BIF_RETURNONLYFSDIRS);

    // The folder the browser starts in: CSIDL_DRIVES is the file system's root.
    void SetRootFolder(int csidl);
    void SetInitialFolder(const QString& folder) { m_folder = folder; }

    // IDOK with the chosen folder in GetFolderPath(), or IDCANCEL.
    INT_PTR DoModal(HWND owner = GetActiveWindow());
    const QString& GetFolderPath() const { return m_path; }

private:
    HWND m_parent;
    QString m_title;
    UINT m_flags;
    QString m_folder;
    QString m_path;
};

namespace taluvo::ui {

// The Qt name filters for a NUL-separated filter list: "WAV files (*.wav) (*.wav)" style entries
// whose last bracket holds the patterns, "*.*" turned into "*".
QStringList FileDialogNameFilters(const char16_t* filter);

// The path a file dialog hands back for what the user chose: unchanged when it exists or has an
// extension, else with the default extension added.
QString WithDefaultExtension(const QString& chosen, const QString& defExt);

} // namespace taluvo::ui

namespace taluvo::ui::test {

struct FileDialogRequest {
    enum class Kind { OpenFile, SaveFile, Folder } kind;
    HWND owner;
    QString title;
    QStringList nameFilters; // file dialogs: as FileDialogNameFilters gives them
    QString defaultExtension;
    QString folder; // where the dialog starts
};
// Returns what the user picks (a path, typed or chosen), or a null string to cancel.
using FileDialogHook = std::function<QString(const FileDialogRequest&)>;
FileDialogHook SetFileDialogHook(FileDialogHook hook);

class ScopedFileDialogHook {
public:
    explicit ScopedFileDialogHook(FileDialogHook hook)
        : m_previous(SetFileDialogHook(std::move(hook)))
    {
    }
    ~ScopedFileDialogHook() { SetFileDialogHook(std::move(m_previous)); }
    ScopedFileDialogHook(const ScopedFileDialogHook&) = delete;
    ScopedFileDialogHook& operator=(const ScopedFileDialogHook&) = delete;

private:
    FileDialogHook m_previous;
};

} // namespace taluvo::ui::test
