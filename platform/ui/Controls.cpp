// The simple controls over Qt widgets: edit, static, button (push, check box, radio, group box) and
// combo box. Each class has one window procedure that speaks the control's messages and sends the
// notifications to the parent as WM_COMMAND, as the Windows controls do.
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include <optional>

using namespace taluvo::ui::detail;

namespace {

// ---------------------------------------------------------------------------------------------
// Edit

constexpr int kDefaultEditLimit = 30000; // Windows' initial limit for typed text

class CaseValidator : public QValidator {
public:
    explicit CaseValidator(bool upper, QObject* parent)
        : QValidator(parent)
        , m_upper(upper)
    {
    }
    State validate(QString& input, int&) const override
    {
        input = m_upper ? input.toUpper() : input.toLower();
        return Acceptable;
    }

private:
    bool m_upper;
};

// A multi-line edit: Windows line breaks outside, Qt's inside; Enter goes to the dialog unless the
// edit wants it.
class MultiEdit : public QPlainTextEdit {
public:
    MultiEdit(DWORD style, QWidget* parent)
        : QPlainTextEdit(parent)
        , m_style(style)
    {
    }
    int limit = kDefaultEditLimit;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (enter && !(m_style & ES_WANTRETURN) && window() != this && qobject_cast<QDialog*>(window())) {
            event->ignore();
            return;
        }
        if (!event->text().isEmpty() && event->text().at(0).isPrint() && !textCursor().hasSelection()
            && document()->characterCount() - 1 >= limit) {
            return; // full: typed text is refused, as the text limit says
        }
        QPlainTextEdit::keyPressEvent(event);
    }

private:
    DWORD m_style;
};

QString ToWindowsBreaks(QString text)
{
    return text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}
QString ToQtBreaks(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// Character positions of a multi-line edit count a line break as two, as Windows does.
int QtPos(const QString& plain, int windowsPos)
{
    int w = 0;
    int q = 0;
    while (q < plain.size() && w < windowsPos) {
        w += plain.at(q) == QLatin1Char('\n') ? 2 : 1;
        ++q;
    }
    return q;
}
int WinPos(const QString& plain, int qtPos)
{
    int w = 0;
    for (int q = 0; q < qtPos && q < plain.size(); ++q)
        w += plain.at(q) == QLatin1Char('\n') ? 2 : 1;
    return w;
}

// A read-only line shows on what lies under it (the dialog, a group box), as on Windows, so it never
// passes for a field the user could type into.
void ShowReadOnly(QLineEdit* edit, bool readOnly)
{
    edit->setReadOnly(readOnly);
    QPalette palette = edit->palette();
    palette.setBrush(QPalette::Base, readOnly ? QBrush(Qt::transparent) : QPalette().brush(QPalette::Base));
    edit->setPalette(palette);
}

// The two widgets an edit can be: a single-line edit is a QLineEdit, a multi-line one a MultiEdit;
// exactly one of the two is set.
struct EditWidgets {
    HWND hwnd;
    WindowRecord& record;
    QLineEdit* line;
    MultiEdit* multi;
};

std::optional<LRESULT> EditTextMessage(const EditWidgets& edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    QLineEdit* line = edit.line;
    MultiEdit* multi = edit.multi;
    switch (message) {
    case WM_SETTEXT: {
        // Setting the text always notifies, even when it does not change, as the edit control
        // does: code that empties an edit relies on its EN_CHANGE handling to run.
        const QString text = TextParam(lParam);
        // The edit control shows a text set this way from its start, caret before the first
        // character; Qt's line edit would leave the caret at the end and scroll a text longer
        // than the box to its end, so a read-only field showed only its tail.
        const bool same = line ? line->text() == text : multi->toPlainText() == ToQtBreaks(text);
        if (line) {
            line->setText(text);
            line->setCursorPosition(0);
        } else {
            multi->setPlainText(ToQtBreaks(text));
            multi->moveCursor(QTextCursor::Start);
        }
        if (same)
            NotifyParent(edit.hwnd, EN_CHANGE);
        return TRUE;
    }
    case WM_GETTEXTLENGTH:
        return line ? line->text().size() : ToWindowsBreaks(multi->toPlainText()).size();
    case WM_GETTEXT:
        return CopyText(line ? line->text() : ToWindowsBreaks(multi->toPlainText()), wParam, lParam);
    case EM_REPLACESEL: {
        const QString text = TextParam(lParam);
        if (line) {
            line->insert(text);
        } else {
            multi->textCursor().insertText(ToQtBreaks(text));
            multi->ensureCursorVisible();
        }
        return 0;
    }
    default:
        return std::nullopt;
    }
}

std::optional<LRESULT> EditSelectionMessage(const EditWidgets& edit, UINT message, WPARAM wParam, LPARAM lParam)
{
    QLineEdit* line = edit.line;
    MultiEdit* multi = edit.multi;
    switch (message) {
    case EM_SETSEL: {
        int start = static_cast<int>(static_cast<intptr_t>(wParam));
        int end = static_cast<int>(lParam);
        if (line) {
            const int length = line->text().size();
            if (start == -1) {
                line->deselect();
                return 0;
            }
            if (end < 0 || end > length)
                end = length;
            start = std::clamp(start, 0, length);
            line->setSelection(start, end - start);
        } else {
            const QString plain = multi->toPlainText();
            QTextCursor cursor = multi->textCursor();
            if (start == -1) {
                cursor.clearSelection();
            } else {
                const int qEnd = end < 0 ? plain.size() : QtPos(plain, end);
                cursor.setPosition(QtPos(plain, std::max(0, start)));
                cursor.setPosition(qEnd, QTextCursor::KeepAnchor);
            }
            multi->setTextCursor(cursor);
        }
        return 0;
    }
    case EM_GETSEL: {
        int start;
        int end;
        if (line) {
            start = line->hasSelectedText() ? line->selectionStart() : line->cursorPosition();
            end = line->hasSelectedText() ? line->selectionEnd() : line->cursorPosition();
        } else {
            const QString plain = multi->toPlainText();
            const QTextCursor cursor = multi->textCursor();
            start = WinPos(plain, cursor.selectionStart());
            end = WinPos(plain, cursor.selectionEnd());
        }
        if (wParam)
            *reinterpret_cast<DWORD*>(wParam) = static_cast<DWORD>(start);
        if (lParam)
            *reinterpret_cast<DWORD*>(lParam) = static_cast<DWORD>(end);
        return MAKELONG(static_cast<WORD>(start), static_cast<WORD>(end));
    }
    case EM_SCROLLCARET:
        if (multi)
            multi->ensureCursorVisible();
        return TRUE;
    default:
        return std::nullopt;
    }
}

// Limit, read-only, password, modified flag and undo.
std::optional<LRESULT> EditStateMessage(const EditWidgets& edit, UINT message, WPARAM wParam, LPARAM)
{
    QLineEdit* line = edit.line;
    MultiEdit* multi = edit.multi;
    switch (message) {
    case EM_SETLIMITTEXT: {
        const int limit = wParam == 0 ? 0x7FFFFFFE : static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFE));
        if (line)
            line->setMaxLength(std::min(limit, 32767 * 1024));
        else
            multi->limit = limit;
        return 0;
    }
    case EM_GETLIMITTEXT:
        return line ? line->maxLength() : multi->limit;
    case EM_SETREADONLY:
        if (line)
            ShowReadOnly(line, wParam != 0);
        else
            multi->setReadOnly(wParam != 0);
        edit.record.style = wParam ? (edit.record.style | ES_READONLY) : (edit.record.style & ~ES_READONLY);
        return TRUE;
    case EM_SETPASSWORDCHAR:
        if (line)
            line->setEchoMode(wParam ? QLineEdit::Password : QLineEdit::Normal);
        return 0;
    case EM_GETMODIFY:
        return line ? line->isModified() : multi->document()->isModified();
    case EM_SETMODIFY:
        if (line)
            line->setModified(wParam != 0);
        else
            multi->document()->setModified(wParam != 0);
        return 0;
    case EM_CANUNDO:
        return line ? line->isUndoAvailable() : multi->document()->isUndoAvailable();
    case EM_UNDO:
        if (line)
            line->undo();
        else
            multi->undo();
        return TRUE;
    case EM_EMPTYUNDOBUFFER:
        if (multi)
            multi->document()->clearUndoRedoStacks();
        return 0;
    default:
        return std::nullopt;
    }
}

// Lines and scrolling, and the focus notices.
std::optional<LRESULT> EditViewMessage(const EditWidgets& edit, UINT message, WPARAM, LPARAM lParam)
{
    MultiEdit* multi = edit.multi;
    switch (message) {
    case EM_GETLINECOUNT:
        return multi ? std::max(1, multi->document()->blockCount()) : 1;
    case EM_GETFIRSTVISIBLELINE:
        return multi ? multi->verticalScrollBar()->value() : 0;
    case EM_LINESCROLL:
        if (multi)
            multi->verticalScrollBar()->setValue(multi->verticalScrollBar()->value() + static_cast<int>(lParam));
        return multi ? TRUE : FALSE;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        NotifyParent(edit.hwnd, message == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
        return 0;
    default:
        return std::nullopt;
    }
}

LRESULT EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record || !record->widget)
        return DefWindowProc(hwnd, message, wParam, lParam);
    const EditWidgets edit { hwnd, *record, qobject_cast<QLineEdit*>(record->widget.data()),
        dynamic_cast<MultiEdit*>(record->widget.data()) };
    if (!edit.line && !edit.multi)
        return DefWindowProc(hwnd, message, wParam, lParam);
    for (auto* group : { EditTextMessage, EditSelectionMessage, EditStateMessage, EditViewMessage })
        if (const auto result = group(edit, message, wParam, lParam))
            return *result;
    return DefWindowProc(hwnd, message, wParam, lParam);
}

QWidget* MakeEdit(WindowRecord& record, QWidget* parent)
{
    const HWND hwnd = record.hwnd;
    const DWORD style = record.style;
    if (style & ES_MULTILINE) {
        auto* edit = new MultiEdit(style, parent);
        edit->setPlainText(ToQtBreaks(record.text));
        edit->setReadOnly(style & ES_READONLY);
        edit->setLineWrapMode(
            (style & (ES_AUTOHSCROLL | WS_HSCROLL)) ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy((style & WS_VSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy((style & WS_HSCROLL) ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
        edit->setTabChangesFocus(true);
        QObject::connect(edit, &QPlainTextEdit::textChanged, [hwnd]() { NotifyParent(hwnd, EN_CHANGE); });
        return edit;
    }
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(kDefaultEditLimit);
    edit->setText(record.text);
    ShowReadOnly(edit, style & ES_READONLY);
    if (style & ES_PASSWORD)
        edit->setEchoMode(QLineEdit::Password);
    if (style & ES_CENTER)
        edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    else if (style & ES_RIGHT)
        edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (style & (ES_UPPERCASE | ES_LOWERCASE))
        edit->setValidator(new CaseValidator((style & ES_UPPERCASE) != 0, edit));
    else if (style & ES_NUMBER)
        edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
    // As on Windows, only a border style draws the box: without one an edit is a line of text.
    edit->setFrame((style & WS_BORDER) || (record.exStyle & WS_EX_CLIENTEDGE));
    QObject::connect(edit, &QLineEdit::textChanged, [hwnd]() { NotifyParent(hwnd, EN_CHANGE); });
    return edit;
}

// ---------------------------------------------------------------------------------------------
// Static

QString WithoutPrefix(const QString& text)
{
    QString shown;
    shown.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('&') && i + 1 < text.size())
            ++i; // "&&" shows one '&'; "&x" shows x
        shown += text.at(i);
    }
    return shown;
}

struct StaticState {
    HICON icon = nullptr;
};

void ShowStaticText(WindowRecord& record)
{
    if (auto* label = qobject_cast<QLabel*>(record.widget.data()); label && (record.style & SS_TYPEMASK) != SS_ICON)
        // A label with a buddy shows its mnemonic itself (LabelMnemonics.cpp).
        label->setText((record.style & SS_NOPREFIX) || label->buddy() ? record.text : WithoutPrefix(record.text));
}

LRESULT StaticProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record)
        return 0;
    auto state = std::static_pointer_cast<StaticState>(record->controlState);
    switch (message) {
    case WM_SETTEXT:
        record->text = TextParam(lParam);
        ShowStaticText(*record);
        return TRUE;
    case STM_SETICON: {
        HICON previous = state->icon;
        state->icon = reinterpret_cast<HICON>(wParam);
        if (auto* label = qobject_cast<QLabel*>(record->widget.data())) {
            const QIcon icon = IconOf(state->icon);
            label->setPixmap(icon.isNull() ? QPixmap() : icon.pixmap(32, 32));
        }
        return reinterpret_cast<LRESULT>(previous);
    }
    case STM_GETICON:
        return reinterpret_cast<LRESULT>(state->icon);
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
        if (record->style & SS_NOTIFY)
            NotifyParent(hwnd, message == WM_LBUTTONUP ? STN_CLICKED : STN_DBLCLK);
        return DefWindowProc(hwnd, message, wParam, lParam);
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeStatic(WindowRecord& record, QWidget* parent)
{
    record.controlState = std::make_shared<StaticState>();
    const DWORD type = record.style & SS_TYPEMASK;
    if (type == SS_ETCHEDHORZ || type == SS_ETCHEDVERT || type == SS_ETCHEDFRAME) {
        auto* frame = new QFrame(parent);
        frame->setFrameShape(type == SS_ETCHEDHORZ ? QFrame::HLine
                : type == SS_ETCHEDVERT            ? QFrame::VLine
                                                   : QFrame::Box);
        frame->setFrameShadow(QFrame::Sunken);
        return frame;
    }
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    if (type == SS_ICON) {
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
    }
    Qt::Alignment align = type == SS_CENTER ? Qt::AlignHCenter : type == SS_RIGHT ? Qt::AlignRight : Qt::AlignLeft;
    if (record.style & SS_CENTERIMAGE) {
        align |= Qt::AlignVCenter;
    } else {
        align |= Qt::AlignTop;
        label->setWordWrap(true);
    }
    label->setAlignment(align);
    if (record.style & SS_SUNKEN)
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setText((record.style & SS_NOPREFIX) ? record.text : WithoutPrefix(record.text));
    return label;
}

// ---------------------------------------------------------------------------------------------
// Button

DWORD ButtonType(const WindowRecord& record)
{
    return record.style & BS_TYPEMASK;
}
bool IsRadio(DWORD type)
{
    return type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON;
}
bool IsAuto(DWORD type)
{
    return type == BS_AUTOCHECKBOX || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON;
}

// Check boxes and radios whose state only the program changes ignore the click's own toggle.
class CheckBox : public QCheckBox {
public:
    CheckBox(bool automatic, QWidget* parent)
        : QCheckBox(parent)
        , m_auto(automatic)
    {
    }

protected:
    void nextCheckState() override
    {
        if (m_auto)
            QCheckBox::nextCheckState();
    }

private:
    bool m_auto;
};

class RadioButton : public QRadioButton {
public:
    RadioButton(bool automatic, QWidget* parent)
        : QRadioButton(parent)
        , m_auto(automatic)
    {
        setAutoExclusive(false); // the group is the dialog's WS_GROUP run, kept by the layer
    }

protected:
    void nextCheckState() override
    {
        if (m_auto)
            setChecked(true);
    }

private:
    bool m_auto;
};

// The radio buttons of the group the button belongs to: from the previous control with WS_GROUP
// up to the next one.
std::vector<RecordPtr> RadioGroup(const WindowRecord& record)
{
    const auto siblings = Children(record.parent);
    size_t start = 0;
    for (size_t i = 0; i < siblings.size(); ++i) {
        if (siblings[i]->style & WS_GROUP)
            start = i;
        if (siblings[i]->hwnd == record.hwnd)
            break;
    }
    std::vector<RecordPtr> group;
    for (size_t i = start; i < siblings.size(); ++i) {
        if (i > start && (siblings[i]->style & WS_GROUP))
            break;
        if (siblings[i]->className == QLatin1String("Button") && IsRadio(ButtonType(*siblings[i])))
            group.push_back(siblings[i]);
    }
    return group;
}

LRESULT ButtonProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record || !record->widget)
        return DefWindowProc(hwnd, message, wParam, lParam);
    QWidget* widget = record->widget.data();
    auto* button = qobject_cast<QAbstractButton*>(widget);
    switch (message) {
    case WM_SETTEXT:
        record->text = TextParam(lParam);
        if (button)
            button->setText(record->text);
        else if (auto* group = qobject_cast<QGroupBox*>(widget))
            group->setTitle(record->text);
        return TRUE;
    case BM_GETCHECK:
        if (auto* box = qobject_cast<QCheckBox*>(widget))
            return box->checkState() == Qt::Checked         ? BST_CHECKED
                : box->checkState() == Qt::PartiallyChecked ? BST_INDETERMINATE
                                                            : BST_UNCHECKED;
        if (auto* radio = qobject_cast<QRadioButton*>(widget))
            return radio->isChecked() ? BST_CHECKED : BST_UNCHECKED;
        return BST_UNCHECKED;
    case BM_SETCHECK:
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            // Anything but the three states shows as unchecked.
            const DWORD type = ButtonType(*record);
            const bool tri = type == BS_3STATE || type == BS_AUTO3STATE;
            Qt::CheckState state = Qt::Unchecked;
            if (wParam == BST_CHECKED)
                state = Qt::Checked;
            else if (wParam == BST_INDETERMINATE && tri)
                state = Qt::PartiallyChecked;
            box->setCheckState(state);
        } else if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            radio->setChecked(wParam == BST_CHECKED);
        }
        return 0;
    case BM_GETSTATE: {
        LRESULT state = SendMessage(hwnd, BM_GETCHECK, 0, 0);
        if (button && button->isDown())
            state |= 0x0004; // BST_PUSHED
        if (widget->hasFocus())
            state |= 0x0008; // BST_FOCUS
        return state;
    }
    case BM_SETSTYLE: {
        record->style = (record->style & ~0xFFFFu) | (static_cast<DWORD>(wParam) & 0xFFFF);
        if (auto* push = qobject_cast<QPushButton*>(widget))
            push->setDefault(ButtonType(*record) == BS_DEFPUSHBUTTON);
        return 0;
    }
    case BM_CLICK:
        if (button && button->isEnabled())
            button->click();
        return 0;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeButton(WindowRecord& record, QWidget* parent)
{
    const HWND hwnd = record.hwnd;
    const DWORD type = ButtonType(record);
    QAbstractButton* button = nullptr;
    switch (type) {
    case BS_GROUPBOX: {
        auto* group = new QGroupBox(record.text, parent);
        group->setAttribute(Qt::WA_TransparentForMouseEvents);
        group->lower(); // a frame behind the controls it surrounds
        return group;
    }
    case BS_CHECKBOX:
    case BS_AUTOCHECKBOX:
    case BS_3STATE:
    case BS_AUTO3STATE: {
        auto* box = new CheckBox(IsAuto(type), parent);
        box->setTristate(type == BS_3STATE || type == BS_AUTO3STATE);
        button = box;
        break;
    }
    case BS_RADIOBUTTON:
    case BS_AUTORADIOBUTTON:
        button = new RadioButton(IsAuto(type), parent);
        break;
    default: {
        auto* push = new QPushButton(parent);
        push->setAutoDefault(true);
        push->setDefault(type == BS_DEFPUSHBUTTON);
        button = push;
        break;
    }
    }
    button->setText(record.text);
    QObject::connect(button, &QAbstractButton::clicked, [hwnd]() {
        auto self = Find(hwnd);
        if (!self)
            return;
        if (ButtonType(*self) == BS_AUTORADIOBUTTON) {
            for (const auto& other : RadioGroup(*self))
                if (other->hwnd != hwnd && ButtonType(*other) == BS_AUTORADIOBUTTON)
                    SendMessage(other->hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
        }
        NotifyParent(hwnd, BN_CLICKED);
    });
    return button;
}

// ---------------------------------------------------------------------------------------------
// Combo box

QString CaseOf(const WindowRecord& record, const QString& text)
{
    if (record.style & CBS_UPPERCASE)
        return text.toUpper();
    if (record.style & CBS_LOWERCASE)
        return text.toLower();
    return text;
}

int FindItem(QComboBox* box, int startAfter, const QString& text, bool exact)
{
    const int count = box->count();
    if (count == 0)
        return CB_ERR;
    const int first = (startAfter < 0 || startAfter >= count) ? 0 : startAfter + 1;
    for (int n = 0; n < count; ++n) {
        const int i = (first + n) % count;
        const QString item = box->itemText(i);
        const bool match
            = exact ? item.compare(text, Qt::CaseInsensitive) == 0 : item.startsWith(text, Qt::CaseInsensitive);
        if (match)
            return i;
    }
    return CB_ERR;
}

LRESULT ComboProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    auto* box = record ? qobject_cast<QComboBox*>(record->widget.data()) : nullptr;
    if (!box)
        return DefWindowProc(hwnd, message, wParam, lParam);
    const int count = box->count();
    const int index = static_cast<int>(static_cast<intptr_t>(wParam));
    const bool valid = index >= 0 && index < count;
    switch (message) {
    case WM_CREATE:
        // The template's height includes the dropped list; the control itself is one line high.
        box->resize(box->width(), box->sizeHint().height());
        return 0;
    case CB_ADDSTRING: {
        const QString text = CaseOf(*record, TextParam(lParam));
        int at = count;
        if (record->style & CBS_SORT) {
            at = 0;
            while (at < count && box->itemText(at).compare(text, Qt::CaseInsensitive) <= 0)
                ++at;
        }
        box->insertItem(at, text);
        if (box->currentIndex() >= 0 && !box->isEditable() && count == 0)
            box->setCurrentIndex(-1); // adding never selects
        return at;
    }
    case CB_INSERTSTRING: {
        const int at = index < 0 || index > count ? count : index;
        if (index > count)
            return CB_ERR;
        box->insertItem(at, CaseOf(*record, TextParam(lParam)));
        if (count == 0 && !box->isEditable())
            box->setCurrentIndex(-1);
        return at;
    }
    case CB_DELETESTRING:
        if (!valid)
            return CB_ERR;
        box->removeItem(index);
        return box->count();
    case CB_RESETCONTENT:
        box->clear();
        return CB_OKAY;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return box->currentIndex() < 0 ? CB_ERR : box->currentIndex();
    case CB_SETCURSEL:
        // An index outside the list selects nothing.
        box->setCurrentIndex(valid ? index : -1);
        return valid ? index : CB_ERR;
    case CB_GETLBTEXTLEN:
        return valid ? box->itemText(index).size() : CB_ERR;
    case CB_GETLBTEXT:
        if (!valid || !lParam)
            return CB_ERR;
        return CopyText(box->itemText(index), static_cast<WPARAM>(box->itemText(index).size()) + 1, lParam);
    case CB_GETITEMDATA:
        return valid ? static_cast<LRESULT>(box->itemData(index).value<qulonglong>()) : CB_ERR;
    case CB_SETITEMDATA:
        if (!valid)
            return CB_ERR;
        box->setItemData(index, QVariant::fromValue<qulonglong>(static_cast<qulonglong>(lParam)));
        return CB_OKAY;
    case CB_FINDSTRINGEXACT:
        return FindItem(box, index, TextParam(lParam), true);
    case CB_FINDSTRING:
        return FindItem(box, index, TextParam(lParam), false);
    case CB_SELECTSTRING: {
        const int found = FindItem(box, index, TextParam(lParam), false);
        if (found != CB_ERR)
            box->setCurrentIndex(found);
        return found;
    }
    case CB_SHOWDROPDOWN:
        if (wParam)
            box->showPopup();
        else
            box->hidePopup();
        return TRUE;
    case CB_GETDROPPEDSTATE:
        return box->view() && box->view()->isVisible() ? TRUE : FALSE;
    case CB_LIMITTEXT:
        if (box->lineEdit())
            box->lineEdit()->setMaxLength(wParam ? static_cast<int>(wParam) : 32767);
        return TRUE;
    case WM_SETTEXT: {
        const QString text = TextParam(lParam);
        if (box->isEditable()) {
            box->setEditText(text);
            return TRUE;
        }
        const int found = FindItem(box, -1, text, true);
        if (found == CB_ERR)
            return CB_ERR;
        box->setCurrentIndex(found);
        return TRUE;
    }
    case WM_GETTEXTLENGTH:
        return box->currentText().size();
    case WM_GETTEXT:
        return CopyText(box->currentText(), wParam, lParam);
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
        NotifyParent(hwnd, message == WM_SETFOCUS ? CBN_SETFOCUS : CBN_KILLFOCUS);
        return 0;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

QWidget* MakeCombo(WindowRecord& record, QWidget* parent)
{
    const HWND hwnd = record.hwnd;
    auto* box = new QComboBox(parent);
    const DWORD kind = record.style & 0x3;
    box->setEditable(kind == CBS_DROPDOWN || kind == CBS_SIMPLE);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMaxVisibleItems(12);
    // Only the user's choice is a selection change, as on Windows; CB_SETCURSEL is silent.
    QObject::connect(box, &QComboBox::activated, [hwnd]() {
        NotifyParent(hwnd, CBN_SELENDOK);
        NotifyParent(hwnd, CBN_SELCHANGE);
    });
    if (box->isEditable())
        QObject::connect(box, &QComboBox::editTextChanged, [hwnd]() { NotifyParent(hwnd, CBN_EDITCHANGE); });
    return box;
}

} // namespace

namespace taluvo::ui::detail {

void NotifyParent(HWND control, WORD code)
{
    auto record = Find(control);
    if (!record || !record->parent || record->destroying)
        return;
    SendMessage(
        record->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(record->id), code), reinterpret_cast<LPARAM>(control));
}

void RegisterControlClasses()
{
    RegisterBuiltinClass({ QStringLiteral("Edit"), EditProc, MakeEdit });
    RegisterBuiltinClass({ QStringLiteral("Static"), StaticProc, MakeStatic });
    RegisterBuiltinClass({ QStringLiteral("Button"), ButtonProc, MakeButton });
    RegisterBuiltinClass({ QStringLiteral("ComboBox"), ComboProc, MakeCombo });
}

} // namespace taluvo::ui::detail
