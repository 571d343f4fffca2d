// Message boxes: the Windows button sets, icons, default button and results, over QMessageBox;
// without a display and without a test hook, caption and text go to stderr and the default
// button is the answer.
#include "platform/ui/detail/Core.h"

#include "platform/base/KernelObjects.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include <cstdio>
#include <map>

using namespace taluvo::ui;
using namespace taluvo::ui::detail;

namespace {

struct ButtonSpec {
    int id;
    const char* name;
};

std::vector<ButtonSpec> ButtonsOf(UINT type)
{
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return { { IDOK, "OK" }, { IDCANCEL, "Cancel" } };
    case MB_ABORTRETRYIGNORE:
        return { { IDABORT, "Abort" }, { IDRETRY, "Retry" }, { IDIGNORE, "Ignore" } };
    case MB_YESNOCANCEL:
        return { { IDYES, "Yes" }, { IDNO, "No" }, { IDCANCEL, "Cancel" } };
    case MB_YESNO:
        return { { IDYES, "Yes" }, { IDNO, "No" } };
    case MB_RETRYCANCEL:
        return { { IDRETRY, "Retry" }, { IDCANCEL, "Cancel" } };
    case MB_CANCELTRYCONTINUE:
        return { { IDCANCEL, "Cancel" }, { IDTRYAGAIN, "Try Again" }, { IDCONTINUE, "Continue" } };
    default:
        return { { IDOK, "OK" } };
    }
}

int DefaultAnswer(UINT type)
{
    const auto buttons = ButtonsOf(type);
    const size_t index = (type & MB_DEFMASK) >> 8;
    return buttons[index < buttons.size() ? index : 0].id;
}

// What Escape and the close box answer: Cancel where there is one, OK for a lone OK, else nothing.
int EscapeAnswer(UINT type)
{
    const auto buttons = ButtonsOf(type);
    for (const auto& b : buttons)
        if (b.id == IDCANCEL)
            return IDCANCEL;
    return buttons.size() == 1 ? buttons[0].id : 0;
}

const char* IconName(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return "error";
    case MB_ICONQUESTION:
        return "question";
    case MB_ICONWARNING:
        return "warning";
    case MB_ICONINFORMATION:
        return "information";
    default:
        return nullptr;
    }
}

QMessageBox::Icon QtIcon(UINT type)
{
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButton QtButton(int id)
{
    switch (id) {
    case IDOK:
        return QMessageBox::Ok;
    case IDCANCEL:
        return QMessageBox::Cancel;
    case IDABORT:
        return QMessageBox::Abort;
    case IDRETRY:
        return QMessageBox::Retry;
    case IDIGNORE:
        return QMessageBox::Ignore;
    case IDYES:
        return QMessageBox::Yes;
    case IDNO:
        return QMessageBox::No;
    default:
        return QMessageBox::NoButton;
    }
}

void PrintBox(const QString& caption, const QString& text, UINT type, int answer)
{
    const char* icon = IconName(type);
    const char* name = "?";
    for (const auto& b : ButtonsOf(type))
        if (b.id == answer)
            name = b.name;
    std::fprintf(stderr, "taluvo: message box%s%s: \"%s\": %s [answered %s]\n", icon ? " " : "", icon ? icon : "",
        qPrintable(caption), qPrintable(text), name);
    std::fflush(stderr);
}

struct BoxState {
    std::map<QAbstractButton*, int> ids;
    int escape = 0;
    bool ended = false;
    int result = 0;
};

thread_local QMessageBox* t_pendingBox = nullptr;
thread_local std::shared_ptr<BoxState> t_pendingState;
thread_local std::vector<HWND> t_openBoxes;

LRESULT MessageBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto record = Find(hwnd);
    if (!record)
        return 0;
    auto state = std::static_pointer_cast<BoxState>(record->controlState);
    switch (message) {
    case WM_COMMAND: {
        // A command of one of the box's buttons presses that button, so it ends the box the way a
        // click does.
        const int id = LOWORD(wParam);
        for (const auto& [button, buttonId] : state->ids) {
            if (buttonId == id) {
                button->click();
                return 0;
            }
        }
        return 0;
    }
    case WM_CLOSE:
        // The box closes itself after a button was clicked; only a close that ended nothing is the
        // escape answer.
        if (state->escape && !state->ended) {
            state->ended = true;
            state->result = state->escape;
        }
        return 0;
    default:
        return DefWindowProc(hwnd, message, wParam, lParam);
    }
}

void RegisterBoxClass()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    ClassInfo info;
    info.name = QStringLiteral("TaluvoMessageBox");
    info.proc = MessageBoxProc;
    info.makeWidget = [](WindowRecord& record, QWidget*) -> QWidget* {
        record.controlState = t_pendingState;
        return t_pendingBox;
    };
    RegisterBuiltinClass(std::move(info));
}

int RunBox(HWND owner, const QString& text, const QString& caption, UINT type)
{
    RegisterBoxClass();
    auto state = std::make_shared<BoxState>();
    auto ownerRecord = Find(owner);
    QWidget* ownerWidget = ownerRecord && ownerRecord->widget ? ownerRecord->widget->window() : nullptr;
    auto* box = new QMessageBox(QtIcon(type), caption, text, QMessageBox::NoButton, ownerWidget);
    const int defaultId = DefaultAnswer(type);
    for (const auto& spec : ButtonsOf(type)) {
        QAbstractButton* button;
        if (QtButton(spec.id) != QMessageBox::NoButton)
            button = box->addButton(QtButton(spec.id));
        else
            button = box->addButton(QString::fromLatin1(spec.name), QMessageBox::ActionRole);
        state->ids[button] = spec.id;
        if (spec.id == defaultId)
            box->setDefaultButton(qobject_cast<QPushButton*>(button));
        if (spec.id == EscapeAnswer(type))
            box->setEscapeButton(button);
    }
    state->escape = EscapeAnswer(type);
    QObject::connect(box, &QMessageBox::buttonClicked, [state](QAbstractButton* button) {
        auto it = state->ids.find(button);
        if (it != state->ids.end()) {
            state->ended = true;
            state->result = it->second;
        }
    });

    t_pendingBox = box;
    t_pendingState = state;
    CreateParams params;
    params.className = QStringLiteral("TaluvoMessageBox");
    params.text = caption;
    params.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    params.parent = ownerRecord ? ownerRecord->hwnd : nullptr;
    const HWND hwnd = CreateWindowObject(params);
    t_pendingBox = nullptr;
    t_pendingState.reset();
    if (!hwnd) {
        delete box;
        return 0;
    }
    box->setWindowModality(Qt::ApplicationModal);
    box->show();
    t_openBoxes.push_back(hwnd);
    const bool answered = RunModalLoop([state]() { return state->ended; });
    t_openBoxes.erase(std::remove(t_openBoxes.begin(), t_openBoxes.end(), hwnd), t_openBoxes.end());
    // Ended from outside (shutdown): as if cancelled.
    const int result = answered ? state->result : (state->escape ? state->escape : defaultId);
    QPointer<QWidget> widget = box;
    DestroyWindow(hwnd);
    delete widget.data();
    return result;
}

} // namespace

namespace taluvo::ui::detail {
std::vector<HWND>& OpenMessageBoxes()
{
    return t_openBoxes;
}
} // namespace taluvo::ui::detail

int MessageBox(HWND owner, const QString& text, const QString& caption, UINT type)
{
    EnsureUiSetup();
    // Windows captions a box without a caption "Error".
    const QString shownCaption = caption.isNull() ? QStringLiteral("Error") : caption;
    if (HasMessageBoxHook()) {
        const int answer = CallMessageBoxHook(owner, text, shownCaption, type);
        if (answer != 0)
            return answer;
    } else if (IsHeadless() || !IsUiThread()) {
        // Nobody can see it: say it on stderr and go on with the default button.
        const int answer = DefaultAnswer(type);
        PrintBox(shownCaption, text, type, answer);
        return answer;
    }
    if (!IsUiThread()) {
        const int answer = DefaultAnswer(type);
        PrintBox(shownCaption, text, type, answer);
        return answer;
    }
    return RunBox(owner, text, shownCaption, type);
}

BOOL MessageBeep(UINT type)
{
    if (RecordBeep(type))
        return TRUE; // a test listens instead
    if (!IsHeadless())
        QApplication::beep();
    return TRUE;
}
