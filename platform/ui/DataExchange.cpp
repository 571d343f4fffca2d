#include "platform/ui/DataExchange.h"

#include "platform/ui/detail/Core.h"

using namespace taluvo::ui::detail;

namespace taluvo::ui {

IntegerText ParseIntegerText(QStringView text, bool isSigned, qint64* value)
{
    // Far beyond either type's range and far from overflowing: enough to tell "too big" and to name it.
    constexpr qint64 kSaturation = qint64(1) << 40;
    qsizetype at = 0;
    qsizetype end = text.size();
    while (at < end && text.at(at).isSpace())
        ++at;
    while (end > at && text.at(end - 1).isSpace())
        --end;
    bool negative = false;
    if (at < end && (text.at(at) == QLatin1Char('-') || text.at(at) == QLatin1Char('+'))) {
        negative = text.at(at) == QLatin1Char('-');
        ++at;
    }
    if (at == end)
        return IntegerText::NotANumber;
    qint64 magnitude = 0;
    for (; at < end; ++at) {
        const char16_t ch = text.at(at).unicode();
        if (ch < u'0' || ch > u'9')
            return IntegerText::NotANumber;
        magnitude = std::min(kSaturation, magnitude * 10 + (ch - u'0'));
    }
    const qint64 number = negative ? -magnitude : magnitude;
    if (value)
        *value = number;
    const qint64 low = isSigned ? std::numeric_limits<qint32>::min() : 0;
    const qint64 high = isSigned ? std::numeric_limits<qint32>::max() : std::numeric_limits<quint32>::max();
    return number < low || number > high ? IntegerText::OutOfRange : IntegerText::Ok;
}

namespace {

bool IsRadioButton(const WindowRecord& record)
{
    const DWORD type = record.style & BS_TYPEMASK;
    return record.className.compare(QLatin1String("Button"), Qt::CaseInsensitive) == 0
        && (type == BS_RADIOBUTTON || type == BS_AUTORADIOBUTTON);
}

// The radio buttons of the group that starts at the control firstId, in dialog order.
std::vector<HWND> RadioGroup(HWND dialog, int firstId)
{
    std::vector<HWND> group;
    bool inside = false;
    for (const auto& child : Children(dialog)) {
        if (!(child->style & WS_CHILD))
            continue;
        if (!inside) {
            inside = static_cast<int>(static_cast<WORD>(child->id)) == static_cast<int>(static_cast<WORD>(firstId));
            if (!inside)
                continue;
        } else if (child->style & WS_GROUP) {
            break;
        }
        if (IsRadioButton(*child))
            group.push_back(child->hwnd);
    }
    return group;
}

} // namespace

int GetRadioGroupIndex(HWND dialog, int firstId)
{
    const auto group = RadioGroup(dialog, firstId);
    for (size_t i = 0; i < group.size(); ++i)
        if (SendMessage(group[i], BM_GETCHECK, 0, 0) == BST_CHECKED)
            return static_cast<int>(i);
    return -1;
}

BOOL SetRadioGroupIndex(HWND dialog, int firstId, int index)
{
    if (!::GetDlgItem(dialog, firstId))
        return FALSE;
    const auto group = RadioGroup(dialog, firstId);
    for (size_t i = 0; i < group.size(); ++i)
        SendMessage(group[i], BM_SETCHECK, static_cast<int>(i) == index ? BST_CHECKED : BST_UNCHECKED, 0);
    return TRUE;
}

} // namespace taluvo::ui
