// Mnemonics of static labels: "&Address:" underlines the A, and Alt+A moves the focus to the
// control that follows the label in tab order (the label itself never takes the focus).
#include "platform/ui/detail/Core.h"

#include <QLabel>

namespace taluvo::ui::detail {

namespace {

bool HasMnemonic(const QString& text)
{
    for (int i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != QLatin1Char('&'))
            continue;
        if (text.at(i + 1) != QLatin1Char('&'))
            return true;
        ++i; // "&&" is a plain '&'
    }
    return false;
}

bool IsTextLabel(const WindowRecord& record)
{
    const DWORD type = record.style & SS_TYPEMASK;
    return record.className.compare(QLatin1String("Static"), Qt::CaseInsensitive) == 0
        && (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) && !(record.style & SS_NOPREFIX);
}

} // namespace

void LinkLabelMnemonics(HWND dialog)
{
    const auto children = Children(dialog);
    for (size_t i = 0; i < children.size(); ++i) {
        const auto& label = children[i];
        auto* widget = qobject_cast<QLabel*>(label->widget.data());
        if (!widget || !IsTextLabel(*label) || !HasMnemonic(label->text))
            continue;
        for (size_t j = i + 1; j < children.size(); ++j) {
            if (!(children[j]->style & WS_TABSTOP) || !children[j]->widget)
                continue;
            widget->setBuddy(children[j]->widget.data());
            widget->setText(label->text);
            break;
        }
    }
}

} // namespace taluvo::ui::detail
