// Without a display and without a tray the update popup still shows, at once, at the corner of
// the work area.
#include "tests/frame/FrameTestSupport.h"

using namespace taluvo::test;

namespace {

TEST_F(MainFrameTest, WithoutATrayTheUpdatePopupGoesToTheWorkAreasCorner)
{
    ASSERT_EQ(Sqlite(DatabasePath(), SchemaSql()), "");
    ASSERT_TRUE(Create());
    m_frame.ShowUpdatePopup(1, 1, QStringLiteral("http://one/"), QStringLiteral("http://one/"));
    ASSERT_TRUE(m_frame.m_trayToolTip.IsWindowVisible());
    EXPECT_EQ(m_frame.m_trayIconPos.LastSource(), CTrayIconPosition::Source::WorkAreaCorner);
    const RECT work = GetWorkArea(nullptr);
    EXPECT_EQ(m_frame.m_trayToolTip.m_ptLastShown.x, work.right - 1);
    EXPECT_EQ(m_frame.m_trayToolTip.m_ptLastShown.y, work.bottom - 1);
    // Its anchor's tip on that point: the tip lies above and left of it, inside the work area.
    RECT where {};
    m_frame.m_trayToolTip.GetWindowRect(&where);
    EXPECT_LE(where.right - 6, work.right);
    EXPECT_LE(where.bottom - 6, work.bottom);
    EXPECT_GE(where.left, work.left);
    EXPECT_GE(where.top, work.top);
}

} // namespace
