// The rich edit subset over a plain text view. The text is kept as it was set, so positions,
// searches and the selected text are those of the original (a "\r\n" counts two, as in the text
// given); the view shows each line break as one paragraph end. Colours are kept as a map of ranges
// and laid onto the lines the view is about to paint, so colouring the whole of a large page is a
// few map operations whatever its size.
#include "platform/ui/RichEdit.h"

#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"

#include "platform/base/TextCodec.h"

#include <QAbstractTextDocumentLayout>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

using namespace taluvo::ui::detail;

namespace {

constexpr COLORREF kAutoColor = 0xFFFFFFFF;

QColor ToQColor(COLORREF color)
{
    return QColor(int(color & 0xFF), int((color >> 8) & 0xFF), int((color >> 16) & 0xFF));
}

class RichView : public QPlainTextEdit {
public:
    explicit RichView(QWidget* parent)
        : QPlainTextEdit(parent)
    {
        document()->setUndoRedoEnabled(false);
        setLineWrapMode(QPlainTextEdit::NoWrap);
        setReadOnly(true);
        setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        SetFace(QStringLiteral("Courier New"), 10);
    }

    void SetText(const QString& text)
    {
        m_text = text;
        m_crlf.clear();
        for (qsizetype i = text.indexOf(QLatin1Char('\r')); i >= 0; i = text.indexOf(QLatin1Char('\r'), i + 1))
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                m_crlf.push_back(int(i));
        QString shown = text;
        shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        m_colors.clear();
        m_colors[0] = kAutoColor;
        ++m_generation;
        m_formatted.clear();
        setPlainText(shown);
        m_formatted.assign(size_t(document()->blockCount()), -1);
    }
    const QString& Text() const { return m_text; }

    // Original position <-> position in the view.
    int ToView(int original) const
    {
        original = std::clamp(original, 0, int(m_text.size()));
        const auto before = std::lower_bound(m_crlf.begin(), m_crlf.end(), original) - m_crlf.begin();
        return original - int(before);
    }
    int ToOriginal(int view) const
    {
        // The i-th "\r\n" shows as one break at view position crlf[i] - i.
        int low = 0, high = int(m_crlf.size());
        while (low < high) {
            const int mid = (low + high) / 2;
            if (m_crlf[size_t(mid)] - mid < view)
                low = mid + 1;
            else
                high = mid;
        }
        return view + low;
    }

    void Colour(int from, int to, COLORREF color)
    {
        const int end = int(m_text.size());
        from = std::clamp(from, 0, end);
        to = to < 0 ? end : std::clamp(to, 0, end);
        if (from >= to)
            return;
        const COLORREF after = ColorAt(to);
        m_colors.erase(m_colors.lower_bound(from), m_colors.lower_bound(to));
        m_colors[from] = color;
        if (to < end)
            m_colors[to] = after;
        ++m_generation;
        viewport()->update();
    }
    COLORREF ColorAt(int position) const
    {
        auto it = m_colors.upper_bound(position);
        return it == m_colors.begin() ? kAutoColor : std::prev(it)->second;
    }

    void SetFace(const QString& face, int points)
    {
        QFont font(face);
        font.setPointSize(std::max(1, points));
        font.setStyleHint(QFont::TypeWriter);
        if (!QFontInfo(font).fixedPitch()) {
            // The page's columns line up only in a fixed-width font: the desktop's takes the place
            // of a face that is not installed.
            const int size = font.pointSize();
            font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
            font.setPointSize(size);
        }
        setFont(font);
        m_points = font.pointSize();
        m_face = face;
    }
    QString Face() const { return m_face; }
    int Points() const { return m_points; }

    void SetTabStops(const std::vector<qreal>& stops)
    {
        QTextOption option = document()->defaultTextOption();
        QList<QTextOption::Tab> tabs;
        for (qreal stop : stops)
            tabs.append(QTextOption::Tab(stop, QTextOption::LeftTab));
        option.setTabs(tabs);
        document()->setDefaultTextOption(option);
    }

    int FirstVisibleLine() const { return firstVisibleBlock().blockNumber(); }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        FormatVisibleLines();
        QPlainTextEdit::paintEvent(event);
    }

private:
    // Lays the colours onto the lines in view that do not wear the current ones yet.
    void FormatVisibleLines()
    {
        const int height = viewport()->height();
        int dirtyFrom = -1;
        int dirtyTo = -1;
        for (QTextBlock block = firstVisibleBlock(); block.isValid(); block = block.next()) {
            const QRectF box = blockBoundingGeometry(block).translated(contentOffset());
            if (box.top() > height)
                break;
            const size_t number = size_t(block.blockNumber());
            if (number < m_formatted.size() && m_formatted[number] == m_generation)
                continue;
            if (number < m_formatted.size())
                m_formatted[number] = m_generation;
            const int viewStart = block.position();
            const int length = block.length() - 1;
            QList<QTextLayout::FormatRange> ranges;
            const int originalStart = ToOriginal(viewStart);
            const int originalEnd = ToOriginal(viewStart + length);
            auto it = m_colors.upper_bound(originalStart);
            int from = originalStart;
            COLORREF color = it == m_colors.begin() ? kAutoColor : std::prev(it)->second;
            while (from < originalEnd) {
                const int to = it == m_colors.end() ? originalEnd : std::min(it->first, originalEnd);
                if (to > from && color != kAutoColor) {
                    QTextLayout::FormatRange range;
                    range.start = ToView(from) - viewStart;
                    range.length = ToView(to) - ToView(from);
                    range.format.setForeground(ToQColor(color));
                    ranges.append(range);
                }
                if (it == m_colors.end())
                    break;
                from = std::max(from, it->first);
                color = it->second;
                ++it;
            }
            block.layout()->setFormats(ranges);
            if (dirtyFrom < 0)
                dirtyFrom = viewStart;
            dirtyTo = viewStart + block.length();
        }
        // The lines take their new formats when laid out again.
        if (dirtyFrom >= 0)
            document()->markContentsDirty(dirtyFrom, dirtyTo - dirtyFrom);
    }

    QString m_text;
    std::vector<int> m_crlf; // positions of the '\r' of each "\r\n"
    std::map<int, COLORREF> m_colors; // colour from each key to the next
    int m_generation = 0;
    std::vector<int> m_formatted; // the generation each line wears
    QString m_face;
    int m_points = 10;
};

RichView* ViewOf(HWND hwnd)
{
    auto record = Find(hwnd);
    return record ? dynamic_cast<RichView*>(record->widget.data()) : nullptr;
}

int SelectionStart(RichView* view)
{
    return view->ToOriginal(view->textCursor().selectionStart());
}
int SelectionEnd(RichView* view)
{
    return view->ToOriginal(view->textCursor().selectionEnd());
}

// Selecting leaves the view where it is: the program scrolls on its own (EM_LINESCROLL).
void Select(RichView* view, LONG from, LONG to)
{
    const int vertical = view->verticalScrollBar()->value();
    const int horizontal = view->horizontalScrollBar()->value();
    QTextCursor cursor = view->textCursor();
    const int end = int(view->Text().size());
    if (from < 0) {
        cursor.clearSelection();
    } else {
        const int last = to < 0 ? end : std::min<int>(to, end);
        cursor.setPosition(view->ToView(std::min<int>(from, end)));
        cursor.setPosition(view->ToView(last), QTextCursor::KeepAnchor);
    }
    view->setTextCursor(cursor);
    view->verticalScrollBar()->setValue(vertical);
    view->horizontalScrollBar()->setValue(horizontal);
}

LRESULT CharFormat(RichView* view, WPARAM scope, CHARFORMAT* format, bool set)
{
    if (!format || format->cbSize < sizeof(CHARFORMAT))
        return 0;
    if (!set) {
        const COLORREF color = view->ColorAt(SelectionStart(view));
        format->dwMask = CFM_COLOR | CFM_FACE | CFM_SIZE | CFM_BOLD | CFM_ITALIC | CFM_CHARSET;
        format->dwEffects = color == kAutoColor ? CFE_AUTOCOLOR : 0;
        format->crTextColor = color == kAutoColor ? 0 : color;
        format->yHeight = view->Points() * 20;
        format->bCharSet = 0;
        const QByteArray face = taluvo::AnsiEncode(view->Face()).left(LF_FACESIZE_RICHEDIT - 1);
        std::memset(format->szFaceName, 0, sizeof(format->szFaceName));
        std::memcpy(format->szFaceName, face.constData(), size_t(face.size()));
        return format->dwMask;
    }
    if (format->dwMask & (CFM_FACE | CFM_SIZE)) {
        // One font for the whole control: the page is shown in one face.
        const QString face = (format->dwMask & CFM_FACE) ? taluvo::AnsiDecode(format->szFaceName) : view->Face();
        const int points = (format->dwMask & CFM_SIZE) ? int(format->yHeight / 20) : view->Points();
        view->SetFace(face, points);
    }
    if (format->dwMask & CFM_COLOR) {
        const COLORREF color = (format->dwEffects & CFE_AUTOCOLOR) ? kAutoColor : format->crTextColor;
        if (scope & SCF_ALL)
            view->Colour(0, -1, color);
        else if (scope & SCF_SELECTION)
            view->Colour(SelectionStart(view), SelectionEnd(view), color);
    }
    return TRUE;
}

LRESULT FindText(RichView* view, WPARAM flags, FINDTEXTEX* find)
{
    if (!find || !find->lpstrText)
        return -1;
    const QString needle = taluvo::AnsiDecode(find->lpstrText);
    const QString& text = view->Text();
    const int end = int(text.size());
    const int from = std::clamp<int>(find->chrg.cpMin, 0, end);
    const int to = find->chrg.cpMax < 0 ? end : std::clamp<int>(find->chrg.cpMax, 0, end);
    if (needle.isEmpty() || !(flags & FR_DOWN) || from >= to)
        return -1;
    const Qt::CaseSensitivity sense = (flags & FR_MATCHCASE) ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const qsizetype at = QStringView(text).left(to).indexOf(needle, from, sense);
    if (at < 0)
        return -1;
    find->chrgText.cpMin = LONG(at);
    find->chrgText.cpMax = LONG(at + needle.size());
    return LRESULT(at);
}

LRESULT RichEditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    RichView* view = ViewOf(hwnd);
    if (!view)
        return DefWindowProc(hwnd, message, wParam, lParam);
    switch (message) {
    case WM_SETTEXT:
        view->SetText(TextParam(lParam));
        return TRUE;
    case WM_GETTEXTLENGTH:
        return view->Text().size();
    case WM_GETTEXT:
        return CopyText(view->Text(), wParam, lParam);
    case EM_EXSETSEL: {
        const auto* range = reinterpret_cast<const CHARRANGE*>(lParam);
        if (range)
            Select(view, range->cpMin, range->cpMax);
        return SelectionEnd(view);
    }
    case EM_EXGETSEL:
        if (auto* range = reinterpret_cast<CHARRANGE*>(lParam)) {
            range->cpMin = SelectionStart(view);
            range->cpMax = SelectionEnd(view);
        }
        return 0;
    case EM_SETSEL:
        Select(view, LONG(static_cast<intptr_t>(wParam)), LONG(lParam));
        return 0;
    case EM_GETSELTEXT: {
        const int from = SelectionStart(view);
        const QByteArray bytes = taluvo::AnsiEncode(QStringView(view->Text()).mid(from, SelectionEnd(view) - from));
        if (auto* buffer = reinterpret_cast<char*>(lParam)) {
            std::memcpy(buffer, bytes.constData(), size_t(bytes.size()));
            buffer[bytes.size()] = '\0';
        }
        return bytes.size();
    }
    case EM_GETCHARFORMAT:
        return CharFormat(view, wParam, reinterpret_cast<CHARFORMAT*>(lParam), false);
    case EM_SETCHARFORMAT:
        return CharFormat(view, wParam, reinterpret_cast<CHARFORMAT*>(lParam), true);
    case EM_SETPARAFORMAT: {
        const auto* format = reinterpret_cast<const PARAFORMAT*>(lParam);
        if (!format || format->cbSize < sizeof(PARAFORMAT))
            return FALSE;
        if (format->dwMask & PFM_TABSTOPS) {
            std::vector<qreal> stops;
            for (int i = 0; i < std::clamp<int>(format->cTabCount, 0, MAX_TAB_STOPS); ++i)
                stops.push_back(format->rgxTabs[i] / 15.0); // twips at 96 dots per inch
            view->SetTabStops(stops);
        }
        return TRUE;
    }
    case EM_FINDTEXTEX:
        return FindText(view, wParam, reinterpret_cast<FINDTEXTEX*>(lParam));
    case EM_EXLINEFROMCHAR:
        return view->document()->findBlock(view->ToView(int(lParam))).blockNumber();
    case EM_GETFIRSTVISIBLELINE:
        return view->FirstVisibleLine();
    case EM_LINESCROLL:
        view->verticalScrollBar()->setValue(view->verticalScrollBar()->value() + int(lParam));
        view->horizontalScrollBar()->setValue(view->horizontalScrollBar()->value() + int(wParam));
        return TRUE;
    case EM_GETRECT:
        if (auto* rect = reinterpret_cast<RECT*>(lParam)) {
            const QRect area = view->viewport()->geometry();
            *rect = RECT { area.left(), area.top(), area.left() + area.width(), area.top() + area.height() };
        }
        return 0;
    case EM_SETREADONLY:
        view->setReadOnly(wParam != 0);
        return TRUE;
    case WM_CONTEXTMENU:
        // The owner offers the menu (as a child window's default handling asks its parent), not
        // the text widget's own editing menu.
        if (HWND parent = GetParent(hwnd))
            return SendMessage(parent, WM_CONTEXTMENU, wParam, lParam);
        return 0;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeRichEdit(WindowRecord& record, QWidget* parent)
{
    auto* view = new RichView(parent);
    view->setVerticalScrollBarPolicy((record.style & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    view->setHorizontalScrollBarPolicy((record.style & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
    view->setTabChangesFocus(true);
    if (!record.text.isEmpty())
        view->SetText(record.text);
    return view;
}

} // namespace

namespace taluvo::ui::detail {

void RegisterRichEditClass()
{
    RegisterBuiltinClass({ QString::fromUtf16(RICHEDIT_CLASS), RichEditProc, MakeRichEdit });
}

} // namespace taluvo::ui::detail
