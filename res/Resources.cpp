// The program's resource tables.
#include "res/resource.h"

#include "res/DialogIds.h"
#include "res/templates/Templates.h"

#include "platform/shell/Sound.h"
#include "platform/ui/Gdi.h"

#include <mutex>

namespace {

using taluvo::ui::MenuTemplateItem;

MenuTemplateItem Item(const char16_t* text, UINT id, UINT state = 0)
{
    return MenuTemplateItem { text, id, {}, state };
}
MenuTemplateItem Separator()
{
    return MenuTemplateItem {};
}
MenuTemplateItem Popup(const char16_t* text, std::vector<MenuTemplateItem> items)
{
    return MenuTemplateItem { text, 0, std::move(items), 0 };
}

void RegisterMenus()
{
    taluvo::ui::RegisterMenuResource(IDR_MAINFRAME,
        {
            Popup(u"&File",
                {
                    Item(u"&Import bookmarks...", ID_FILE_IMPORT_BOOKMARKS),
                    Separator(),
                    Item(u"Work &offline\tF12", ID_FILE_WORK_OFFLINE),
                    Separator(),
                    Item(u"&Minimize to tray\tAlt+Shift+X", ID_FILE_MIN_TO_TRAY),
                    Item(u"E&xit\tAlt+X", ID_APP_EXIT),
                }),
            Popup(u"&Group",
                {
                    Item(u"&Add new group ...\tCtrl+Shift+N", ID_GROUP_ADD),
                    Item(u"&Modify ...\tCtrl+Shift+M", ID_GROUP_MODIFY),
                    Item(u"&Delete\tCtrl+Shift+D", ID_GROUP_DELETE),
                    Item(u"&Toggle Disable/Enable\tCtrl+Shift+T", ID_GROUP_TOGGLE),
                    Separator(),
                    Item(u"&Check all pages in group", ID_GROUP_CHECK_ALL),
                }),
            Popup(u"&Page",
                {
                    Item(u"&Add new ...\tCtrl+N", ID_PAGE_ADD),
                    Item(u"&Modify\tCtrl+M", ID_PAGE_MODIFY),
                    Item(u"&Delete\tCtrl+D", ID_PAGE_DELETE),
                    Item(u"&Toggle Disable/Enable\tCtrl+T", ID_PAGE_TOGGLE),
                    Item(u"Cancel '&new' status\tCtrl+X", ID_PAGE_CANCEL_STATUS),
                    Item(u"Copy &address\tCtrl+C", ID_PAGE_COPY_ADDRESS),
                    Item(u"&Open in browser\tCtrl+L", ID_PAGE_OPEN_IN_BROWSER),
                    Separator(),
                    Item(u"&Check for update\tF5", ID_PAGE_CHECK_UPDATE),
                    Separator(),
                    Item(u"&Properties...\tAlt+Enter", ID_PAGE_PROPERTIES),
                }),
            Popup(u"&Tools",
                {
                    Item(u"&Open log file ...", ID_TOOLS_OPEN_LOG_FILE),
                    Separator(),
                    Item(u"&Check all pages in all groups\tF6", ID_TOOLS_CHECK_ALL),
                    Item(u"Open all updated pages\tCtrl+U", ID_TOOLS_OPEN_ALL_UPDATED),
                    Separator(),
                    Item(u"&Preferences...\tCtrl+P", ID_TOOLS_PREFERENCES),
                }),
            Popup(u"&View",
                {
                    Item(u"&Toolbar", ID_VIEW_TOOLBAR),
                    Item(u"&Status Bar", ID_VIEW_STATUS_BAR),
                }),
            Popup(u"&Help", { Item(u"&About ...", ID_APP_ABOUT) }),
        });
    taluvo::ui::RegisterMenuResource(IDR_TRAY_POPUP,
        {
            Popup(u"Tray popup",
                {
                    Item(u"&Check all pages in all groups", ID_TOOLS_CHECK_ALL),
                    Item(u"Open all updated pages", ID_TOOLS_OPEN_ALL_UPDATED),
                    Item(u"&Open log file ...", ID_TOOLS_OPEN_LOG_FILE),
                    Separator(),
                    Item(u"Work &offline", ID_FILE_WORK_OFFLINE),
                    Separator(),
                    Item(u"&Restore", ID_RESTORE_FROM_TRAY, MF_DEFAULT),
                    Item(u"&Exit", ID_APP_EXIT),
                }),
        });
}

void RegisterAccelerators()
{
    constexpr BYTE V = FVIRTKEY;
    auto key = [](BYTE flags, UINT vk, UINT command) {
        return ACCEL { flags, static_cast<WORD>(vk), static_cast<WORD>(command) };
    };
    taluvo::ui::RegisterAcceleratorResource(IDR_MAINFRAME,
        {
            key(V, VK_F12, ID_FILE_WORK_OFFLINE),
            key(V | FALT | FSHIFT, 'X', ID_FILE_MIN_TO_TRAY),
            key(V | FALT, 'X', ID_APP_EXIT),
            key(V | FCONTROL | FSHIFT, 'N', ID_GROUP_ADD),
            key(V | FCONTROL | FSHIFT, 'M', ID_GROUP_MODIFY),
            key(V | FCONTROL | FSHIFT, 'D', ID_GROUP_DELETE),
            key(V | FCONTROL | FSHIFT, 'T', ID_GROUP_TOGGLE),
            key(V | FCONTROL, 'N', ID_PAGE_ADD),
            key(V | FCONTROL, 'M', ID_PAGE_MODIFY),
            key(V | FCONTROL, 'D', ID_PAGE_DELETE),
            key(V | FCONTROL, 'T', ID_PAGE_TOGGLE),
            key(V | FCONTROL, 'X', ID_PAGE_CANCEL_STATUS),
            key(V | FCONTROL, 'C', ID_PAGE_COPY_ADDRESS),
            key(V | FCONTROL, 'L', ID_PAGE_OPEN_IN_BROWSER),
            key(V, VK_F5, ID_PAGE_CHECK_UPDATE),
            key(V | FALT, VK_RETURN, ID_PAGE_PROPERTIES),
            key(V, VK_F6, ID_TOOLS_CHECK_ALL),
            key(V | FCONTROL, 'U', ID_TOOLS_OPEN_ALL_UPDATED),
            key(V | FCONTROL, 'P', ID_TOOLS_PREFERENCES),
        });
}

void RegisterStrings()
{
    taluvo::ui::RegisterStringResources({
        { IDS_APP_TITLE, u"Taluvo" },
        { ATL_IDS_IDLEMESSAGE, u"Ready" },
        { IDS_NOT_WEB_ADDRESS, u"Only web addresses (http and https) are opened in the browser. Not opened:\n%s" },
        { ID_FILE_IMPORT_BOOKMARKS, u"Import bookmarks\nImport IE, FireFox bookmarks" },
        { ID_FILE_WORK_OFFLINE, u"Work offline\nWork offline" },
        { ID_FILE_MIN_TO_TRAY, u"Minimize to tray\nMinimize to tray" },
        { ID_APP_EXIT, u"Quit the application\nExit" },
        { ID_GROUP_ADD, u"Add new group\nAdd new group" },
        { ID_GROUP_MODIFY, u"Modify group\nModify group" },
        { ID_GROUP_DELETE, u"Delete group\nDelete group" },
        { ID_GROUP_TOGGLE, u"Toggle Disable/Enable\nToggle Disable/Enable" },
        { ID_GROUP_CHECK_ALL, u"Check all enabled pages in group\nCheck all enabled pages in group" },
        { ID_PAGE_ADD, u"Add new page\nAdd new page" },
        { ID_PAGE_MODIFY, u"Modify page\nModify page" },
        { ID_PAGE_DELETE, u"Delete page\nDelete page" },
        { ID_PAGE_TOGGLE, u"Toggle Disable/Enable\nToggle Disable/Enable" },
        { ID_PAGE_CANCEL_STATUS, u"Cancel 'new' status\nCancel 'new' status" },
        { ID_PAGE_COPY_ADDRESS, u"Copy page address in buffer\nCopy address" },
        { ID_PAGE_OPEN_IN_BROWSER, u"Open page in web browser\nOpen in browser" },
        { ID_PAGE_CHECK_UPDATE, u"Check page for update\nCheck for update" },
        { ID_PAGE_PROPERTIES, u"Show page properties\nProperties" },
        { ID_PAGE_MOVE_UP, u"Move up page\nMove up page" },
        { ID_PAGE_MOVE_DOWN, u"Move down page\nMove down page" },
        { ID_TOOLS_OPEN_LOG_FILE, u"Open log file in text editor\nOpen log file" },
        { ID_TOOLS_CHECK_ALL, u"Check all pages in all groups\nCheck all pages in all groups" },
        { ID_TOOLS_OPEN_ALL_UPDATED, u"Open all updated pages\nOpen all updated pages" },
        { ID_TOOLS_PREFERENCES, u"Change application preferences\nPreferences" },
        { ID_TOOLS_CANCEL_CHECKS, u"Cancel current check(s)\nCancel current check(s)" },
        { ID_VIEW_TOOLBAR, u"Show or hide the toolbar\nToggle ToolBar" },
        { ID_VIEW_STATUS_BAR, u"Show or hide the status bar\nToggle StatusBar" },
    });
}

void RegisterToolBar()
{
    taluvo::ui::ToolBarTemplate toolBar;
    toolBar.id = IDR_MAINFRAME;
    toolBar.width = 16;
    toolBar.height = 16;
    toolBar.items = {
        ID_GROUP_ADD,
        ID_GROUP_DELETE,
        ID_GROUP_MODIFY,
        ID_GROUP_CHECK_ALL,
        0,
        ID_PAGE_ADD,
        ID_PAGE_DELETE,
        ID_PAGE_MODIFY,
        ID_PAGE_TOGGLE,
        ID_PAGE_PROPERTIES,
        0,
        ID_PAGE_CHECK_UPDATE,
        ID_TOOLS_CANCEL_CHECKS,
        0,
        ID_PAGE_MOVE_UP,
        ID_PAGE_MOVE_DOWN,
        0,
        ID_TOOLS_PREFERENCES,
        0,
        ID_TOOLS_CHECK_ALL,
        ID_TOOLS_OPEN_ALL_UPDATED,
        0,
        ID_APP_EXIT,
    };
    taluvo::ui::RegisterToolBarResource(std::move(toolBar));
}

void RegisterImagesAndSounds()
{
    for (WORD id : { IDR_MAINFRAME, IDI_TRAY_PROBE, IDI_PAGE_16x16, IDI_PAGE_NEW_16x16, IDI_CRASH })
        taluvo::ui::RegisterIconResource(id, QStringLiteral(":/res/images/icon%1.png").arg(id));
    taluvo::ui::RegisterIconResource(IDI_ABOUT_LOGO, QStringLiteral(":/res/images/icon226.png"));
    taluvo::ui::RegisterBitmapResource(IDB_TREE_IMAGES, QStringLiteral(":/res/images/bitmap201.png"));
    taluvo::ui::RegisterBitmapResource(IDB_ABOUT_CLOSE, QStringLiteral(":/res/images/bitmap249.png"));
    taluvo::shell::RegisterSoundResource(IDR_WAVE_UPDATE, QStringLiteral(":/res/sounds/wave242.wav"));
    taluvo::shell::RegisterSoundResource(IDR_WAVE_ERROR, QStringLiteral(":/res/sounds/wave243.wav"));
}

} // namespace

namespace taluvo::res {

void RegisterResources()
{
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterMenus();
        RegisterAccelerators();
        RegisterStrings();
        RegisterToolBar();
        RegisterImagesAndSounds();
        taluvo::res::templates::RegisterOptionPageTemplates();
        taluvo::res::templates::RegisterPageDialogTemplates();
        taluvo::res::templates::RegisterMailTemplates();
        taluvo::res::templates::RegisterImportTemplates();
        taluvo::res::templates::RegisterCrashTemplates();
    });
}

} // namespace taluvo::res
