// The tree-view control: inserting at every place, walking, item data, texts, images and the
// overlay, selection with its notifications, moves, deletion and stale handles, clicks and hit tests.
#include "tests/platform/ui/UiTestSupport.h"

#include "platform/ui/CommCtrl.h"
#include "platform/ui/Gdi.h"
#include "platform/ui/detail/Core.h"
#include "res/resource.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QTreeWidget>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

struct Notice {
    UINT code;
    HTREEITEM oldItem;
    HTREEITEM newItem;
    LPARAM oldParam;
    LPARAM newParam;
};

class CTreeHost : public CWindowImpl<CTreeHost> {
public:
    std::vector<Notice> notices;
    LRESULT dblClickResult = 0;
    CTreeViewCtrl tree;

    BEGIN_MSG_MAP(CTreeHost)
    MESSAGE_HANDLER(WM_NOTIFY, OnNotify)
    END_MSG_MAP()

    LRESULT OnNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        EXPECT_EQ(wParam, 2000u);
        EXPECT_EQ(header->idFrom, 2000u);
        EXPECT_EQ(header->hwndFrom, tree.m_hWnd);
        Notice notice { header->code, nullptr, nullptr, 0, 0 };
        if (header->code == TVN_SELCHANGED) {
            const auto* info = reinterpret_cast<const NMTREEVIEW*>(lParam);
            notice.oldItem = info->itemOld.hItem;
            notice.newItem = info->itemNew.hItem;
            notice.oldParam = info->itemOld.lParam;
            notice.newParam = info->itemNew.lParam;
            // The control already reports the new selection while the parent hears of it.
            EXPECT_EQ(tree.GetSelectedItem(), info->itemNew.hItem);
        }
        notices.push_back(notice);
        return header->code == NM_DBLCLK ? dblClickResult : 0;
    }
};

class UiTreeView : public ::testing::Test {
protected:
    void SetUp() override
    {
        taluvo::test::EnsureUiApplication();
        taluvo::res::RegisterResources();
        RECT rect { 0, 0, 300, 400 };
        ASSERT_TRUE(host.Create(nullptr, &rect, QStringLiteral("host"), WS_OVERLAPPEDWINDOW));
        RECT inside { 0, 0, 300, 400 };
        ASSERT_TRUE(host.tree.Create(host, &inside, QString(),
            WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS,
            WS_EX_CLIENTEDGE, 2000));
        tree = host.tree;
        ASSERT_TRUE(images.Create(IDB_TREE_IMAGES, 16, 6, 0xFF00FF));
        ASSERT_TRUE(images.SetOverlayImage(24, 1));
        tree.SetImageList(images);
        host.ShowWindow(SW_SHOW);
    }
    void TearDown() override
    {
        if (host.IsWindow())
            host.DestroyWindow();
        images.Destroy();
    }
    HTREEITEM Add(const QString& text, LPARAM data, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST,
        int image = 12, int selected = 12, UINT overlay = 0)
    {
        return tree.InsertItem(TVIF_TEXT | TVIF_PARAM | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_STATE, text, image,
            selected, INDEXTOOVERLAYMASK(overlay), TVIS_OVERLAYMASK, data, parent, after);
    }
    QString Text(HTREEITEM item) const
    {
        QString text;
        tree.GetItemText(item, text);
        return text;
    }
    std::vector<QString> Children(HTREEITEM parent) const
    {
        std::vector<QString> texts;
        for (HTREEITEM item = parent ? tree.GetChildItem(parent) : tree.GetRootItem(); item;
             item = tree.GetNextSiblingItem(item))
            texts.push_back(Text(item));
        return texts;
    }
    QTreeWidget* Widget() const { return static_cast<QTreeWidget*>(taluvo::ui::detail::WidgetOf(tree)); }
    void Mouse(QEvent::Type type, Qt::MouseButton button, QPoint at)
    {
        QWidget* viewport = Widget()->viewport();
        const QPoint local = viewport->mapFrom(Widget(), at);
        QMouseEvent event(type, QPointF(local), viewport->mapToGlobal(QPointF(local)), button,
            type == QEvent::MouseButtonRelease ? Qt::NoButton : button, Qt::NoModifier);
        QApplication::sendEvent(viewport, &event);
    }
    QPoint LabelPoint(HTREEITEM item) const
    {
        RECT label;
        EXPECT_TRUE(tree.GetItemRect(item, &label, TRUE));
        return QPoint((label.left + label.right) / 2, (label.top + label.bottom) / 2);
    }

    CTreeHost host;
    CTreeViewCtrl tree;
    CImageList images;
};

TEST_F(UiTreeView, InsertsAtEveryPlaceAndWalks)
{
    const HTREEITEM a = Add(QStringLiteral("A"), 0x01000001, TVI_ROOT, TVI_LAST, 0, 1);
    const HTREEITEM c = Add(QStringLiteral("C"), 0x01000003);
    const HTREEITEM first = Add(QStringLiteral("first"), 0x01000000, TVI_ROOT, TVI_FIRST);
    const HTREEITEM b = Add(QStringLiteral("B"), 0x01000002, TVI_ROOT, a); // after A
    ASSERT_TRUE(a && b && c && first);
    EXPECT_EQ(Children(nullptr), (std::vector<QString> { "first", "A", "B", "C" }));

    const HTREEITEM p2 = Add(QStringLiteral("p2"), 2, a);
    const HTREEITEM p1 = Add(QStringLiteral("p1"), 1, a, TVI_FIRST);
    const HTREEITEM p3 = Add(QStringLiteral("p3"), 3, a, p2);
    // A sibling of another parent as the place: the item goes last, as on Windows.
    const HTREEITEM p4 = Add(QStringLiteral("p4"), 4, a, c);
    EXPECT_EQ(Children(a), (std::vector<QString> { "p1", "p2", "p3", "p4" }));

    EXPECT_EQ(tree.GetParentItem(p3), a);
    EXPECT_EQ(tree.GetParentItem(a), nullptr);
    EXPECT_EQ(tree.GetPrevSiblingItem(p1), nullptr);
    EXPECT_EQ(tree.GetPrevSiblingItem(p3), p2);
    EXPECT_EQ(tree.GetNextSiblingItem(p4), nullptr);
    EXPECT_EQ(tree.GetChildItem(b), nullptr);
    EXPECT_EQ(tree.GetNextItem(nullptr, TVGN_CHILD), first); // the root's first child
    EXPECT_EQ(tree.GetCount(), 8u);
    EXPECT_EQ(tree.GetItemData(a), 0x01000001u);
    EXPECT_EQ(tree.GetItemData(p4), 4u);
    EXPECT_TRUE(tree.SetItemData(p4, 0x02000004));
    EXPECT_EQ(tree.GetItemData(p4), 0x02000004u);
    EXPECT_TRUE(tree.ItemHasChildren(a));

    // Text: the program's buffers hold 259 characters and the NUL.
    const QString longText(300, QLatin1Char('x'));
    EXPECT_TRUE(tree.SetItemText(b, longText));
    EXPECT_EQ(Text(b), QString(259, QLatin1Char('x')));
    EXPECT_TRUE(tree.SetItemText(b, QStringLiteral("B\u00e9")));
    EXPECT_EQ(Text(b), QStringLiteral("B\u00e9"));
    EXPECT_EQ(Widget()->topLevelItem(2)->text(0), QStringLiteral("B\u00e9"));

    // Expansion.
    EXPECT_TRUE(tree.Expand(a, TVE_EXPAND));
    EXPECT_TRUE(tree.GetItemState(a, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_TRUE(tree.Expand(a, TVE_COLLAPSE));
    EXPECT_FALSE(tree.GetItemState(a, TVIS_EXPANDED) & TVIS_EXPANDED);
}

TEST_F(UiTreeView, AnItemIsOneRowWhateverItsTextHolds)
{
    // A description a page planted, with line breaks of every kind: the item keeps its text and
    // shows it on one row of the same height as a plain item.
    const QString planted = QStringLiteral("evil\r\nDescription : FAKE\r\n\u2028more\vend");
    const HTREEITEM plain = Add(QStringLiteral("plain"), 1);
    const HTREEITEM forged = Add(planted, 2);
    EXPECT_EQ(Text(forged), planted);
    const QString shown = Widget()->topLevelItem(1)->text(0);
    EXPECT_EQ(shown, QStringLiteral("evil Description : FAKE more end"));
    RECT plainRect, forgedRect;
    ASSERT_TRUE(tree.GetItemRect(plain, &plainRect, FALSE));
    ASSERT_TRUE(tree.GetItemRect(forged, &forgedRect, FALSE));
    EXPECT_EQ(forgedRect.bottom - forgedRect.top, plainRect.bottom - plainRect.top);
    EXPECT_TRUE(tree.SetItemText(plain, QStringLiteral("two\nlines")));
    EXPECT_EQ(Widget()->topLevelItem(0)->text(0), QStringLiteral("two lines"));
    // Direction controls a title planted turn nothing of the row shown; the item keeps them.
    const QString turned = QStringLiteral("RTL \u202Etxt.exe\u202C");
    EXPECT_TRUE(tree.SetItemText(plain, turned));
    EXPECT_EQ(Text(plain), turned);
    EXPECT_EQ(Widget()->topLevelItem(0)->text(0), QStringLiteral("RTL  txt.exe "));
}

TEST_F(UiTreeView, ImagesAndOverlay)
{
    const HTREEITEM group = Add(QStringLiteral("group"), 0x03000001, TVI_ROOT, TVI_LAST, 0, 1);
    const HTREEITEM page = Add(QStringLiteral("page"), 1, group, TVI_LAST, 12, 12, 1);
    int image = -1, selected = -1;
    ASSERT_TRUE(tree.GetItemImage(group, image, selected));
    EXPECT_EQ(image, 0);
    EXPECT_EQ(selected, 1);
    EXPECT_EQ(tree.GetItemState(page, TVIS_OVERLAYMASK), INDEXTOOVERLAYMASK(1));

    // The shown icon of a page with overlay 1 carries the red cross in its lower left corner.
    const QImage shown = Widget()->topLevelItem(0)->child(0)->icon(0).pixmap(16, 16).toImage();
    const QImage plain = taluvo::ui::ImageListImage(images, 12);
    ASSERT_FALSE(shown.isNull());
    const QRgb crossPixel = shown.pixel(1, 10);
    EXPECT_GT(qRed(crossPixel), 180);
    EXPECT_LT(qGreen(crossPixel), 80);
    EXPECT_NE(plain.pixel(1, 10), crossPixel);

    // Clearing the overlay (the page enabled again) and changing the images.
    EXPECT_TRUE(tree.SetItemState(page, 0, TVIS_OVERLAYMASK));
    EXPECT_EQ(tree.GetItemState(page, TVIS_OVERLAYMASK), 0u);
    EXPECT_TRUE(tree.SetItemImage(page, 10, 10));
    ASSERT_TRUE(tree.GetItemImage(page, image, selected));
    EXPECT_EQ(image, 10);
    const QImage now = Widget()->topLevelItem(0)->child(0)->icon(0).pixmap(16, 16).toImage();
    EXPECT_EQ(now.convertToFormat(QImage::Format_ARGB32),
        taluvo::ui::ImageListImage(images, 10).convertToFormat(QImage::Format_ARGB32));
}

TEST_F(UiTreeView, SelectionReportsEveryChangeOnce)
{
    const HTREEITEM g1 = Add(QStringLiteral("g1"), 0x01000001);
    const HTREEITEM p1 = Add(QStringLiteral("p1"), 11, g1);
    const HTREEITEM p2 = Add(QStringLiteral("p2"), 12, g1);
    const HTREEITEM g2 = Add(QStringLiteral("g2"), 0x01000002);
    EXPECT_TRUE(host.notices.empty()); // inserting selects nothing

    struct Step {
        HTREEITEM select;
        HTREEITEM expectOld;
        LPARAM expectOldParam;
        LPARAM expectNewParam;
    };
    const Step steps[] = {
        { p1, nullptr, 0, 11 },
        { g2, p1, 11, 0x01000002 },
        { nullptr, g2, 0x01000002, 0 }, // selecting nothing is a change too
        { p2, nullptr, 0, 12 },
    };
    for (const Step& step : steps) {
        host.notices.clear();
        ASSERT_TRUE(tree.SelectItem(step.select));
        ASSERT_EQ(host.notices.size(), 1u);
        EXPECT_EQ(host.notices[0].code, TVN_SELCHANGED);
        EXPECT_EQ(host.notices[0].oldItem, step.expectOld);
        EXPECT_EQ(host.notices[0].newItem, step.select);
        EXPECT_EQ(host.notices[0].oldParam, step.expectOldParam);
        EXPECT_EQ(host.notices[0].newParam, step.expectNewParam);
        EXPECT_EQ(tree.GetSelectedItem(), step.select);
    }
    // Selecting a page opened its group; selecting the selected item again says nothing.
    EXPECT_TRUE(tree.GetItemState(g1, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_TRUE(tree.GetItemState(p2, TVIS_SELECTED) & TVIS_SELECTED);
    host.notices.clear();
    EXPECT_TRUE(tree.SelectItem(p2));
    EXPECT_TRUE(host.notices.empty());

    // Deleting the selected item moves the selection and says so; its handle is then stale.
    EXPECT_TRUE(tree.DeleteItem(p2));
    ASSERT_FALSE(host.notices.empty());
    EXPECT_EQ(host.notices.back().oldItem, p2);
    EXPECT_EQ(host.notices.back().newItem, tree.GetSelectedItem());
    EXPECT_NE(tree.GetSelectedItem(), p2);

    // Emptying the control ends with nothing selected, reported once.
    ASSERT_TRUE(tree.SelectItem(g2));
    host.notices.clear();
    EXPECT_TRUE(tree.DeleteAllItems());
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].oldItem, g2);
    EXPECT_EQ(host.notices[0].newItem, nullptr);
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    EXPECT_EQ(tree.GetRootItem(), nullptr);
    EXPECT_EQ(tree.GetCount(), 0u);
}

TEST_F(UiTreeView, DeletedItemsLeaveStaleHandles)
{
    const HTREEITEM g1 = Add(QStringLiteral("g1"), 0x01000001);
    const HTREEITEM p1 = Add(QStringLiteral("p1"), 1, g1);
    const HTREEITEM p2 = Add(QStringLiteral("p2"), 2, g1);
    const HTREEITEM g2 = Add(QStringLiteral("g2"), 0x01000002);
    const HTREEITEM q1 = Add(QStringLiteral("q1"), 3, g2);

    EXPECT_TRUE(tree.DeleteItem(p1));
    EXPECT_EQ(Children(g1), (std::vector<QString> { "p2" }));
    EXPECT_EQ(tree.GetPrevSiblingItem(p2), nullptr);
    EXPECT_TRUE(tree.DeleteItem(g1)); // with its children
    EXPECT_EQ(Children(nullptr), (std::vector<QString> { "g2" }));
    EXPECT_EQ(tree.GetCount(), 2u);

    for (HTREEITEM stale : { p1, p2, g1 }) {
        TVITEM item;
        item.hItem = stale;
        item.mask = TVIF_PARAM;
        EXPECT_FALSE(tree.GetItem(&item));
        EXPECT_FALSE(tree.SetItemText(stale, QStringLiteral("x")));
        EXPECT_EQ(tree.GetNextSiblingItem(stale), nullptr);
        EXPECT_FALSE(tree.DeleteItem(stale));
        EXPECT_FALSE(tree.SelectItem(stale));
        // Inserting under a deleted parent fails instead of landing anywhere.
        EXPECT_EQ(Add(QStringLiteral("orphan"), 9, stale), nullptr);
    }
    EXPECT_EQ(tree.GetItemData(q1), 3u);
    EXPECT_EQ(tree.GetCount(), 2u);
}

TEST_F(UiTreeView, MovedItemsKeepTheirHandlesAndTheSelection)
{
    const HTREEITEM group = Add(QStringLiteral("group"), 0x01000001, TVI_ROOT, TVI_LAST, 0, 1);
    std::vector<HTREEITEM> items;
    items.reserve(5);
    for (int i = 0; i < 5; ++i)
        items.push_back(Add(QString(QLatin1Char('a' + i)), 100 + i, group, TVI_LAST, 10 + i % 4, 10 + i % 4, i % 2));
    ASSERT_TRUE(tree.SelectItem(items[2]));
    const HTREEITEM a = items[0], b = items[1], c = items[2], e = items[4];

    struct Step {
        HTREEITEM item;
        HTREEITEM after;
        const char* order;
    };
    const Step steps[] = {
        { c, TVI_FIRST, "cabde" }, // the selected item up, to the first place
        { c, TVI_LAST, "abdec" }, // and down to the last
        { a, e, "bdeac" }, // after a later sibling
        { e, b, "bedac" }, // after an earlier one
        { e, b, "bedac" }, // already there: after its previous sibling
        { e, e, "bedac" }, // after itself
        { b, TVI_FIRST, "bedac" }, { c, nullptr, "bedac" }, // no place is the last one
    };
    for (const Step& step : steps) {
        host.notices.clear();
        ASSERT_TRUE(tree.MoveItem(step.item, step.after));
        std::vector<QString> expected;
        for (const char* letter = step.order; *letter; ++letter)
            expected.emplace_back(QLatin1Char(*letter));
        EXPECT_EQ(Children(group), expected) << step.order;
        // What Qt shows row by row is the table's order, and each row answers for its item: a
        // click on an item's label hits that item.
        QTreeWidgetItem* rows = Widget()->topLevelItem(0);
        ASSERT_EQ(rows->childCount(), 5);
        for (int row = 0; row < 5; ++row)
            EXPECT_EQ(rows->child(row)->text(0), expected[static_cast<size_t>(row)]) << step.order;
        for (size_t i = 0; i < items.size(); ++i) {
            EXPECT_EQ(Text(items[i]), QString(QLatin1Char('a' + static_cast<int>(i))));
            EXPECT_EQ(tree.GetItemData(items[i]), static_cast<DWORD_PTR>(100 + i));
            EXPECT_EQ(tree.GetItemState(items[i], TVIS_OVERLAYMASK), INDEXTOOVERLAYMASK(static_cast<UINT>(i % 2)));
            TVHITTESTINFO hit;
            const QPoint at = LabelPoint(items[i]);
            hit.pt = POINT { at.x(), at.y() };
            EXPECT_EQ(tree.HitTest(&hit), items[i]) << step.order;
        }
        // The selection stayed with its item, Qt's current row too, and nothing was reported.
        EXPECT_EQ(tree.GetSelectedItem(), c);
        EXPECT_EQ(Widget()->currentItem()->text(0), QStringLiteral("c"));
        EXPECT_TRUE(Widget()->currentItem()->isSelected());
        EXPECT_TRUE(host.notices.empty()) << step.order;
    }

    // Items with subtrees: a group moves with its pages, stays open or closed, and the selection
    // inside it stays.
    const HTREEITEM second = Add(QStringLiteral("second"), 0x01000002, TVI_ROOT, TVI_LAST, 0, 1);
    const HTREEITEM inner = Add(QStringLiteral("inner"), 200, second);
    const HTREEITEM third = Add(QStringLiteral("third"), 0x01000003, TVI_ROOT, TVI_LAST, 0, 1);
    ASSERT_TRUE(tree.Expand(group, TVE_EXPAND));
    ASSERT_TRUE(tree.Expand(second, TVE_COLLAPSE));
    host.notices.clear();
    ASSERT_TRUE(tree.MoveItem(group, third));
    EXPECT_EQ(Children(nullptr), (std::vector<QString> { "second", "third", "group" }));
    EXPECT_EQ(Widget()->topLevelItem(2)->text(0), QStringLiteral("group"));
    EXPECT_EQ(Widget()->topLevelItem(2)->childCount(), 5);
    EXPECT_EQ(Children(group), (std::vector<QString> { "b", "e", "d", "a", "c" }));
    EXPECT_TRUE(tree.GetItemState(group, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_FALSE(tree.GetItemState(second, TVIS_EXPANDED) & TVIS_EXPANDED);
    EXPECT_EQ(tree.GetSelectedItem(), c);
    EXPECT_EQ(Widget()->currentItem()->text(0), QStringLiteral("c"));
    EXPECT_TRUE(host.notices.empty());
    ASSERT_TRUE(tree.MoveItem(third, TVI_FIRST));
    EXPECT_EQ(Children(nullptr), (std::vector<QString> { "third", "second", "group" }));
    EXPECT_EQ(tree.GetParentItem(inner), second);
    EXPECT_EQ(Widget()->topLevelItem(1)->child(0)->text(0), QStringLiteral("inner"));

    // Refused: a stale item, and a place that is not a sibling; nothing moves.
    EXPECT_FALSE(tree.MoveItem(a, inner));
    EXPECT_FALSE(tree.MoveItem(a, second));
    ASSERT_TRUE(tree.DeleteItem(inner));
    EXPECT_FALSE(tree.MoveItem(inner, TVI_FIRST));
    EXPECT_FALSE(tree.MoveItem(a, inner));
    EXPECT_EQ(Children(group), (std::vector<QString> { "b", "e", "d", "a", "c" }));
}

TEST_F(UiTreeView, ClicksNotifyTheParent)
{
    const HTREEITEM group = Add(QStringLiteral("group"), 0x01000001, TVI_ROOT, TVI_LAST, 0, 1);
    const HTREEITEM page = Add(QStringLiteral("page"), 1, group);
    const HTREEITEM other = Add(QStringLiteral("other"), 0x01000002, TVI_ROOT, TVI_LAST, 0, 1);
    ASSERT_TRUE(tree.Expand(group));
    ASSERT_TRUE(tree.SelectItem(page));
    host.notices.clear();

    // A right click selects nothing by itself: the parent hears NM_RCLICK and decides.
    const QPoint otherAt = LabelPoint(other);
    Mouse(QEvent::MouseButtonPress, Qt::RightButton, otherAt);
    Mouse(QEvent::MouseButtonRelease, Qt::RightButton, otherAt);
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].code, NM_RCLICK);
    EXPECT_EQ(tree.GetSelectedItem(), page);

    // A left click selects, reported as TVN_SELCHANGED.
    host.notices.clear();
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, otherAt);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, otherAt);
    ASSERT_FALSE(host.notices.empty());
    EXPECT_EQ(host.notices[0].code, TVN_SELCHANGED);
    EXPECT_EQ(host.notices[0].newItem, other);

    // A double click on a group: NM_DBLCLK, and unless the parent answers non-zero the group
    // opens or closes.
    const QPoint groupAt = LabelPoint(group);
    host.notices.clear();
    Mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, groupAt);
    ASSERT_FALSE(host.notices.empty());
    EXPECT_EQ(host.notices.back().code, NM_DBLCLK);
    EXPECT_FALSE(tree.GetItemState(group, TVIS_EXPANDED) & TVIS_EXPANDED);
    host.dblClickResult = 1;
    Mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, groupAt);
    EXPECT_FALSE(tree.GetItemState(group, TVIS_EXPANDED) & TVIS_EXPANDED);
}

TEST_F(UiTreeView, HitTestTellsIconLabelAndElsewhere)
{
    const HTREEITEM group = Add(QStringLiteral("group"), 0x01000001, TVI_ROOT, TVI_LAST, 0, 1);
    const HTREEITEM page = Add(QStringLiteral("a page"), 1, group);
    ASSERT_TRUE(tree.Expand(group));
    RECT label;
    ASSERT_TRUE(tree.GetItemRect(page, &label, TRUE));
    RECT row;
    ASSERT_TRUE(tree.GetItemRect(page, &row, FALSE));
    EXPECT_GT(label.right - label.left, 10);
    EXPECT_GE(label.left, row.left);
    const int y = (label.top + label.bottom) / 2;

    struct Case {
        int x;
        UINT flags;
        HTREEITEM item;
    };
    const Case cases[] = {
        { (label.left + label.right) / 2, TVHT_ONITEMLABEL, page },
        { label.left - 10, TVHT_ONITEMICON, page }, // the 16-pixel image left of the label
        { label.right + 20, TVHT_ONITEMRIGHT, page }, { 2, TVHT_ONITEMINDENT, page }, // a child's indent
    };
    for (const Case& c : cases) {
        UINT flags = 0;
        EXPECT_EQ(tree.HitTest(POINT { c.x, y }, &flags), c.item) << c.x;
        EXPECT_EQ(flags, c.flags) << c.x;
    }
    UINT flags = 0;
    EXPECT_EQ(tree.HitTest(POINT { 50, 380 }, &flags), nullptr); // below the last item
    EXPECT_EQ(flags, TVHT_NOWHERE);
    EXPECT_EQ(tree.HitTest(POINT { 50, -5 }, &flags), nullptr);
    EXPECT_EQ(flags, TVHT_ABOVE);
}

TEST_F(UiTreeView, TenThousandItemsInsertedAndWalked)
{
    constexpr int kGroups = 100;
    constexpr int kPagesPerGroup = 99; // 100 groups + 9,900 pages
    const auto start = std::chrono::steady_clock::now();
    for (int g = 0; g < kGroups; ++g) {
        const HTREEITEM group = Add(QStringLiteral("Group %1").arg(g), 0x03000000 | g, TVI_ROOT, TVI_LAST, 0, 1);
        ASSERT_NE(group, nullptr);
        for (int p = 0; p < kPagesPerGroup; ++p)
            ASSERT_NE(
                Add(QStringLiteral("Page %1").arg(p), (g << 8) | p, group, TVI_LAST, 10 + p % 4, 10 + p % 4, p % 2),
                nullptr);
        tree.Expand(group);
    }
    const auto inserted = std::chrono::steady_clock::now();
    int items = 0;
    long long sum = 0;
    for (HTREEITEM group = tree.GetRootItem(); group; group = tree.GetNextSiblingItem(group)) {
        ++items;
        for (HTREEITEM page = tree.GetChildItem(group); page; page = tree.GetNextSiblingItem(page)) {
            ++items;
            sum += static_cast<long long>(tree.GetItemData(page));
            ASSERT_EQ(tree.GetParentItem(page), group);
        }
    }
    const auto walked = std::chrono::steady_clock::now();
    EXPECT_EQ(items, 10000);
    long long expected = 0;
    for (int g = 0; g < kGroups; ++g)
        for (int p = 0; p < kPagesPerGroup; ++p)
            expected += (g << 8) | p;
    EXPECT_EQ(sum, expected);
    EXPECT_EQ(tree.GetCount(), 10000u);
    using ms = std::chrono::duration<double, std::milli>;
    std::printf("tree: 10000 items inserted in %.1f ms, walked in %.1f ms\n", ms(inserted - start).count(),
        ms(walked - inserted).count());
    RecordProperty("insert_ms", static_cast<int>(ms(inserted - start).count()));
    RecordProperty("walk_ms", static_cast<int>(ms(walked - inserted).count()));
}

} // namespace
