// Data exchange between a dialog's controls and its members: a map of DDX_* lines in the dialog
// class, run in one direction by DoDataExchange. Loading (FALSE) puts members into controls;
// saving (TRUE) takes controls into members, in map order, and stops at the first failure.
//
//     class CProxyPage : public CPropertyPageImpl<CProxyPage>, public CWinDataExchange<CProxyPage> {
//         BEGIN_DDX_MAP(CProxyPage)
//             DDX_CHECK(1093, m_bUseProxy)          // checked: true; anything else: false
//             DDX_TEXT(1094, m_strServer)           // the whole text
//             DDX_INT_RANGE(1095, m_nPort, 1024, 65535)
//             DDX_RADIO(1102, m_nBrowser)           // 1102 carries WS_GROUP
//         END_DDX_MAP()
//         // optional: the page's own answer to a field that holds no number
//         void OnDataExchangeError(UINT id, BOOL save);
//     };
//     if (!DoDataExchange(TRUE)) return FALSE; // the error handler has run, the focus is on the field
//
// Number fields are read with ParseIntegerText (below). A text that is no number calls
// OnDataExchangeError (the format error); a number outside the field's range, or outside the
// member's type, calls OnDataValidateError (the range error). Both default to a beep
// (MessageBeep(-1)) with the focus on the field and a line on the debugger output naming the
// control; a class overrides either by declaring a member function of the same name.
//
// A radio group's member is the position of the checked radio button among the radio buttons of
// the group, counted from the control given (the group's first, with WS_GROUP) up to the next
// control with WS_GROUP; controls of other kinds inside the group (a check box between two
// radios) are skipped; -1 when none is checked. Loading checks the button at the position and
// clears the others.
#pragma once

#include "platform/base/DebugOutput.h"
#include "platform/ui/AtlWin.h"

#include <QString>
#include <QStringView>

#include <limits>
#include <type_traits>

namespace taluvo::ui {

enum class IntegerText { Ok, NotANumber, OutOfRange };

// The one rule by which the layer reads a whole number typed into a field:
//   - blanks (white space) before and after the number are ignored; a text of blanks only is no
//     number;
//   - one optional sign, '+' or '-', directly before the first digit;
//   - then one or more decimal digits 0-9 (no other digits, no grouping, no "0x", no exponent);
//   - any other character anywhere, a blank inside the number included, makes it no number;
//   - a number whose value lies outside the type (-2147483648..2147483647 signed,
//     0..4294967295 unsigned; "-0" is 0) is OutOfRange, not NotANumber: it is a number, just
//     not one the field can hold. *value then holds it (saturated far beyond the type's range),
//     so an error can name it.
// *value is set for Ok and OutOfRange.
IntegerText ParseIntegerText(QStringView text, bool isSigned, qint64* value);

// The radio groups of a dialog, as described above. SetRadioGroupIndex is FALSE when the first
// control does not exist.
int GetRadioGroupIndex(HWND dialog, int firstId);
BOOL SetRadioGroupIndex(HWND dialog, int firstId, int index);

} // namespace taluvo::ui

// What a range error carries: the value read and the range it had to lie in.
struct _XData {
    qint64 nVal = 0;
    qint64 nMin = 0;
    qint64 nMax = 0;
};

template <class T> class CWinDataExchange {
public:
    // The format error: the text of field id is no number. The default beeps and puts the focus
    // on the field.
    void OnDataExchangeError(UINT nCtrlID, BOOL /*bSave*/)
    {
        HWND control = ::GetDlgItem(Window(), static_cast<int>(nCtrlID));
        taluvo::OutputDebugText(QStringLiteral("taluvo: data exchange: control %1 holds no number: \"%2\"\n")
                                    .arg(nCtrlID)
                                    .arg(::GetWindowText(control)));
        ::MessageBeep(static_cast<UINT>(-1));
        ::SetFocus(control);
    }
    // The range error: field id holds data.nVal, outside data.nMin..data.nMax. The default beeps
    // and puts the focus on the field.
    void OnDataValidateError(UINT nCtrlID, BOOL /*bSave*/, _XData& data)
    {
        taluvo::OutputDebugText(QStringLiteral("taluvo: data exchange: control %1 holds %2, outside %3..%4\n")
                                    .arg(nCtrlID)
                                    .arg(data.nVal)
                                    .arg(data.nMin)
                                    .arg(data.nMax));
        ::MessageBeep(static_cast<UINT>(-1));
        ::SetFocus(::GetDlgItem(Window(), static_cast<int>(nCtrlID)));
    }

    BOOL DDX_Text(UINT nID, QString& value, BOOL bSave)
    {
        if (bSave)
            value = ::GetDlgItemText(Window(), static_cast<int>(nID));
        else
            ::SetDlgItemText(Window(), static_cast<int>(nID), value);
        return TRUE;
    }

    // bool, BOOL or any integer member: checked is 1 / true.
    template <class Flag> BOOL DDX_Check(UINT nID, Flag& value, BOOL bSave)
    {
        if (bSave)
            value = static_cast<Flag>(::IsDlgButtonChecked(Window(), static_cast<int>(nID)) == BST_CHECKED);
        else
            ::CheckDlgButton(Window(), static_cast<int>(nID), value ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;
    }

    BOOL DDX_Radio(UINT nID, int& value, BOOL bSave)
    {
        if (bSave)
            value = taluvo::ui::GetRadioGroupIndex(Window(), static_cast<int>(nID));
        else
            taluvo::ui::SetRadioGroupIndex(Window(), static_cast<int>(nID), value);
        return TRUE;
    }

    // Whole numbers; with bValidate the value must lie in nMin..nMax as well.
    template <class Int>
    BOOL DDX_Int(UINT nID, Int& value, BOOL bSigned, BOOL bSave, BOOL bValidate = FALSE, Int nMin = 0, Int nMax = 0)
    {
        static_assert(std::is_integral_v<Int>, "DDX_INT needs an integer member");
        T* self = static_cast<T*>(this);
        if (!bSave) {
            const QString text
                = bSigned ? QString::number(static_cast<qint64>(value)) : QString::number(static_cast<quint64>(value));
            ::SetDlgItemText(Window(), static_cast<int>(nID), text);
            return TRUE;
        }
        qint64 read = 0;
        const taluvo::ui::IntegerText kind
            = taluvo::ui::ParseIntegerText(::GetDlgItemText(Window(), static_cast<int>(nID)), bSigned != FALSE, &read);
        if (kind == taluvo::ui::IntegerText::NotANumber) {
            self->OnDataExchangeError(nID, bSave);
            return FALSE;
        }
        _XData range;
        range.nVal = read;
        range.nMin = bValidate ? static_cast<qint64>(nMin) : static_cast<qint64>(std::numeric_limits<Int>::min());
        range.nMax = bValidate ? static_cast<qint64>(nMax) : static_cast<qint64>(std::numeric_limits<Int>::max());
        if (kind == taluvo::ui::IntegerText::OutOfRange || read < range.nMin || read > range.nMax) {
            self->OnDataValidateError(nID, bSave, range);
            return FALSE;
        }
        value = static_cast<Int>(read);
        return TRUE;
    }

private:
    HWND Window() const { return static_cast<const T*>(this)->m_hWnd; }
};

// The map. nCtlID limits an exchange to one control.
#define BEGIN_DDX_MAP(thisClass)                                                                                       \
    BOOL DoDataExchange(BOOL bSaveAndValidate = FALSE, UINT nCtlID = static_cast<UINT>(-1))                            \
    {                                                                                                                  \
        (void)bSaveAndValidate;                                                                                        \
        (void)nCtlID;

#define DDX_FOR_CONTROL(nID, call)                                                                                     \
    if (nCtlID == static_cast<UINT>(-1) || nCtlID == static_cast<UINT>(nID)) {                                         \
        if (!(call))                                                                                                   \
            return FALSE;                                                                                              \
    }

#define DDX_TEXT(nID, var) DDX_FOR_CONTROL(nID, this->DDX_Text(nID, var, bSaveAndValidate))
#define DDX_CHECK(nID, var) DDX_FOR_CONTROL(nID, this->DDX_Check(nID, var, bSaveAndValidate))
#define DDX_RADIO(nID, var) DDX_FOR_CONTROL(nID, this->DDX_Radio(nID, var, bSaveAndValidate))
#define DDX_INT(nID, var) DDX_FOR_CONTROL(nID, this->DDX_Int(nID, var, TRUE, bSaveAndValidate))
#define DDX_UINT(nID, var) DDX_FOR_CONTROL(nID, this->DDX_Int(nID, var, FALSE, bSaveAndValidate))
#define DDX_INT_RANGE(nID, var, nMin, nMax)                                                                            \
    DDX_FOR_CONTROL(nID,                                                                                               \
        this->DDX_Int(nID, var, TRUE, bSaveAndValidate, TRUE, static_cast<decltype(var)>(nMin),                        \
            static_cast<decltype(var)>(nMax)))
#define DDX_UINT_RANGE(nID, var, nMin, nMax)                                                                           \
    DDX_FOR_CONTROL(nID,                                                                                               \
        this->DDX_Int(nID, var, FALSE, bSaveAndValidate, TRUE, static_cast<decltype(var)>(nMin),                       \
            static_cast<decltype(var)>(nMax)))

#define END_DDX_MAP()                                                                                                  \
    return TRUE;                                                                                                       \
    }
