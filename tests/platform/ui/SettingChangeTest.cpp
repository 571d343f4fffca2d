// WM_SETTINGCHANGE: a change of the desktop's font or colours reaches every top-level window.
#include "tests/platform/ui/TrayTestSupport.h"
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/AtlWin.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QPalette>

namespace {

class CListener : public CWindowImpl<CListener> {
public:
    int m_changes = 0;
    BEGIN_MSG_MAP(CListener)
    MESSAGE_HANDLER(WM_SETTINGCHANGE, OnSettingChange)
    END_MSG_MAP()
    LRESULT OnSettingChange(UINT, WPARAM, LPARAM, BOOL&)
    {
        ++m_changes;
        return 0;
    }
};

TEST(UiSettingChange, TopLevelWindowsHearOfANewDesktopFontAndPalette)
{
    taluvo::test::EnsureUiApplication();
    CListener first;
    CListener second;
    RECT rect { 0, 0, 100, 80 };
    ASSERT_TRUE(first.Create(nullptr, &rect, QStringLiteral("first"), WS_OVERLAPPEDWINDOW));
    ASSERT_TRUE(second.Create(nullptr, &rect, QStringLiteral("second"), WS_OVERLAPPEDWINDOW | WS_VISIBLE));
    using taluvo::test::tray::PumpUntil;
    PumpUntil([] { return false; }, 50);
    const int before = first.m_changes + second.m_changes;

    const QFont font = QApplication::font();
    QFont larger = font;
    larger.setPointSize(font.pointSize() + 3);
    QApplication::setFont(larger);
    EXPECT_TRUE(PumpUntil([&] { return first.m_changes > 0 && second.m_changes > 0; }, 5000))
        << "hidden and shown top-level windows alike";
    QApplication::setFont(font);

    const int afterFont = first.m_changes;
    const QPalette palette = QApplication::palette();
    QPalette darker = palette;
    darker.setColor(QPalette::Window, Qt::darkGray);
    QApplication::setPalette(darker);
    EXPECT_TRUE(PumpUntil([&] { return first.m_changes > afterFont; }, 5000));
    QApplication::setPalette(palette);
    PumpUntil([] { return false; }, 50);
    EXPECT_GT(first.m_changes + second.m_changes, before);

    first.DestroyWindow();
    second.DestroyWindow();
}

} // namespace
