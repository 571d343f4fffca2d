// Memory blocks and the clipboard over QClipboard.
#include "platform/ui/Clipboard.h"

#include "platform/base/KernelObjects.h"
#include "platform/base/TextCodec.h"

#include <QClipboard>
#include <QGuiApplication>

#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace {

std::mutex g_blockLock;
std::map<HGLOBAL, std::vector<char>>& Blocks()
{
    static auto* blocks = new std::map<HGLOBAL, std::vector<char>>;
    return *blocks;
}
uintptr_t g_nextBlock = 1;

// Clipboard state of the user-interface thread.
HWND g_owner = nullptr;
bool g_open = false;
std::vector<HGLOBAL> g_handedOut; // blocks of GetClipboardData, freed on close

QClipboard* Clipboard()
{
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return app && taluvo::ui::IsUiThread() ? QGuiApplication::clipboard() : nullptr;
}

// The block's bytes up to the first NUL (or its end).
QByteArray BlockBytes(HGLOBAL block, size_t unit)
{
    std::lock_guard<std::mutex> guard(g_blockLock);
    auto it = Blocks().find(block);
    if (it == Blocks().end())
        return QByteArray();
    const std::vector<char>& bytes = it->second;
    size_t length = 0;
    while (length + unit <= bytes.size()) {
        bool zero = true;
        for (size_t k = 0; k < unit; ++k)
            zero = zero && bytes[length + k] == 0;
        if (zero)
            break;
        length += unit;
    }
    return QByteArray(bytes.data(), static_cast<qsizetype>(length));
}

HGLOBAL BlockOf(const QByteArray& bytes, size_t terminator)
{
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<size_t>(bytes.size()) + terminator);
    if (block)
        std::memcpy(GlobalLock(block), bytes.constData(), static_cast<size_t>(bytes.size()));
    GlobalUnlock(block);
    return block;
}

} // namespace

HGLOBAL GlobalAlloc(UINT, size_t bytes)
{
    std::lock_guard<std::mutex> guard(g_blockLock);
    const auto handle = reinterpret_cast<HGLOBAL>(g_nextBlock++ * 16 + 0x50000);
    // Every block starts zeroed, which GMEM_ZEROINIT asks for and harms nobody else.
    Blocks()[handle].assign(std::max<size_t>(bytes, 1), 0);
    return handle;
}

void* GlobalLock(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(g_blockLock);
    auto it = Blocks().find(block);
    if (it == Blocks().end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second.data();
}

BOOL GlobalUnlock(HGLOBAL)
{
    return FALSE; // no lock count is kept: every unlock is the last one, as Windows reports it
}

size_t GlobalSize(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(g_blockLock);
    auto it = Blocks().find(block);
    return it == Blocks().end() ? 0 : it->second.size();
}

HGLOBAL GlobalFree(HGLOBAL block)
{
    std::lock_guard<std::mutex> guard(g_blockLock);
    if (Blocks().erase(block) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return block;
    }
    return nullptr;
}

BOOL OpenClipboard(HWND owner)
{
    if (!Clipboard()) {
        SetLastError(ERROR_WRONG_THREAD);
        return FALSE;
    }
    if (g_open && g_owner != owner) {
        SetLastError(5); // ERROR_ACCESS_DENIED
        return FALSE;
    }
    g_open = true;
    g_owner = owner;
    return TRUE;
}

BOOL CloseClipboard()
{
    if (!g_open || !Clipboard())
        return FALSE;
    g_open = false;
    g_owner = nullptr;
    for (HGLOBAL block : g_handedOut)
        GlobalFree(block);
    g_handedOut.clear();
    return TRUE;
}

BOOL EmptyClipboard()
{
    QClipboard* clipboard = Clipboard();
    if (!g_open || !clipboard)
        return FALSE;
    clipboard->clear();
    return TRUE;
}

HANDLE SetClipboardData(UINT format, HANDLE block)
{
    QClipboard* clipboard = Clipboard();
    if (!g_open || !clipboard || (format != CF_TEXT && format != CF_OEMTEXT && format != CF_UNICODETEXT)) {
        SetLastError(format == CF_TEXT || format == CF_OEMTEXT || format == CF_UNICODETEXT ? 1418 : 87);
        return nullptr;
    }
    if (!GlobalSize(block)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    QString text;
    if (format == CF_UNICODETEXT) {
        const QByteArray bytes = BlockBytes(block, 2);
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()), bytes.size() / 2);
    } else {
        text = taluvo::AnsiDecode(BlockBytes(block, 1));
    }
    clipboard->setText(text);
    GlobalFree(block);
    return block;
}

HANDLE GetClipboardData(UINT format)
{
    QClipboard* clipboard = Clipboard();
    if (!g_open || !clipboard)
        return nullptr;
    const QString text = clipboard->text();
    if (text.isNull())
        return nullptr;
    HGLOBAL block = nullptr;
    if (format == CF_UNICODETEXT)
        block = BlockOf(QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2), 2);
    else if (format == CF_TEXT || format == CF_OEMTEXT)
        block = BlockOf(taluvo::AnsiEncode(text), 1);
    if (block)
        g_handedOut.push_back(block);
    return block;
}

BOOL IsClipboardFormatAvailable(UINT format)
{
    QClipboard* clipboard = Clipboard();
    if (!clipboard || (format != CF_TEXT && format != CF_OEMTEXT && format != CF_UNICODETEXT))
        return FALSE;
    return clipboard->text().isNull() ? FALSE : TRUE;
}

namespace taluvo::ui {

bool SetClipboardText(const QString& text)
{
    if (!OpenClipboard(nullptr))
        return false;
    HGLOBAL block = BlockOf(QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2), 2);
    const bool done = SetClipboardData(CF_UNICODETEXT, block) != nullptr;
    if (!done)
        GlobalFree(block);
    CloseClipboard();
    return done;
}

QString ClipboardText()
{
    QClipboard* clipboard = Clipboard();
    return clipboard ? clipboard->text() : QString();
}

} // namespace taluvo::ui
