#include "import/FavoritesReader.h"

#include "import/IniParser.h"
#include "import/IniValues.h"
#include "import/UserFolders.h"
#include "platform/base/FileRead.h"
#include "platform/base/FileStatus.h"
#include "platform/base/TextCodec.h"

#include <algorithm>
#include <optional>
#include <set>
#include <sstream>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

// An Internet shortcut is a few hundred bytes; anything far larger is not one, and reading it
// whole would only cost memory.
constexpr size_t kMaxShortcutSize = size_t(1024) * 1024;

struct SFolderItem {
    fs::path path;
    QString name; // display name
    bool folder;
};

// Identity of a folder, to leave out a folder that (through a link) contains itself.
using FolderId = std::pair<uint64_t, uint64_t>;

std::optional<FolderId> IdentifyFolder(const fs::path& folder)
{
    taluvo::SFileStatus status;
    if (!taluvo::GetFileStatus(folder.native(), status))
        return std::nullopt;
    return FolderId(status.device, status.node);
}

bool HasShortcutExtension(const std::string& name)
{
    return name.size() > 4 && IniParser::NameEquals(name.substr(name.size() - 4), ".url");
}

// The folders and shortcut files of one folder, in name order, letter case ignored first (as a
// file manager lists them), so that the order never depends on the file system. Hidden entries,
// plain files and anything that cannot be examined are left out. Null when the folder cannot be
// listed.
std::optional<std::vector<SFolderItem>> ListFolder(const fs::path& folder)
{
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec)
        return std::nullopt;
    std::vector<SFolderItem> items;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        const std::string fileName = it->path().filename().native();
        if (fileName.empty() || fileName[0] == '.')
            continue;
        std::error_code statError;
        const fs::file_status status = fs::status(it->path(), statError);
        if (statError)
            continue;
        if (fs::is_directory(status)) {
            items.push_back({ it->path(), taluvo::AnsiDecode(fileName.data(), qsizetype(fileName.size())), true });
        } else if (fs::is_regular_file(status) && HasShortcutExtension(fileName)) {
            items.push_back({ it->path(), taluvo::AnsiDecode(fileName.data(), qsizetype(fileName.size() - 4)), false });
        }
    }
    std::sort(items.begin(), items.end(), [](const SFolderItem& a, const SFolderItem& b) {
        if (const int c = a.name.compare(b.name, Qt::CaseInsensitive); c != 0)
            return c < 0;
        if (const int c = a.name.compare(b.name, Qt::CaseSensitive); c != 0)
            return c < 0;
        return a.path.native() < b.path.native();
    });
    return items;
}

// What one walk has seen. Each real folder is read once, however many links lead to it: folders
// linked repeatedly from every level would otherwise be walked an exponential number of times. The
// node budget bounds a tree that is huge for real.
struct SWalk {
    static constexpr size_t kMaxNodes = 100000;
    std::set<FolderId> visited;
    size_t nodes = 0;

    bool TakeNode()
    {
        if (nodes >= kMaxNodes)
            return false;
        ++nodes;
        return true;
    }
};

// Adds the listed items of one folder to the level of head, descending into every subfolder not
// walked yet.
void ReadFolder(const std::vector<SFolderItem>& items, SFavoriteNode* head, SWalk& walk)
{
    SFavoriteNode* lastFolder = nullptr;
    SFavoriteNode* lastLink = nullptr;
    for (const SFolderItem& item : items) {
        if (item.folder) {
            const std::optional<FolderId> id = IdentifyFolder(item.path);
            if (!id || !walk.visited.insert(*id).second || !walk.TakeNode())
                continue;
            auto* node = new SFavoriteNode;
            node->m_dwKind = SFGAO_FOLDER;
            node->m_pszName = item.name;
            node->m_pPrevFolder = lastFolder ? lastFolder : head;
            (lastFolder ? lastFolder : head)->m_pNextFolder = node;
            lastFolder = node;
            // A folder that cannot be listed stays, with no level below it.
            if (const auto children = ListFolder(item.path)) {
                auto* childHead = new SFavoriteNode;
                childHead->m_pParent = node;
                node->m_pChild = childHead;
                ReadFolder(*children, childHead, walk);
            }
        } else {
            if (!walk.TakeNode())
                continue;
            QString url = ReadInternetShortcutUrl(item.path);
            if (url.isEmpty())
                continue;
            auto* node = new SFavoriteNode;
            node->m_dwKind = SFGAO_LINK;
            node->m_pszName = item.name;
            node->m_pszUrl = std::move(url);
            if (lastLink) {
                lastLink->m_pNextLink = node;
                node->m_pPrevLink = lastLink;
            } else {
                head->m_pNextLink = node;
                node->m_pParent = head;
            }
            lastLink = node;
        }
    }
}

} // namespace

QString ReadInternetShortcutUrl(const fs::path& file)
{
    std::string contents;
    if (taluvo::ReadRegularFile(file.native(), kMaxShortcutSize, contents) != taluvo::EFileRead::ok)
        return QString();
    // Shortcuts saved by text editors may start with a byte order mark.
    if (contents.compare(0, 3, "\xEF\xBB\xBF") == 0)
        contents.erase(0, 3);
    std::istringstream in(contents);
    std::string url;
    IniParser::CIniFile shortcut(true, true, true);
    shortcut.AddSection("InternetShortcut")
        ->AddParameter("URL", new IniParser::CStringValue(&url, IniParser::CStringValue::kNoLimit, false), true);
    try {
        shortcut.Parse(in);
    } catch (IniParser::CException* e) {
        delete e;
        return QString();
    }
    return taluvo::AnsiDecode(url.data(), static_cast<qsizetype>(url.size()));
}

CFavoritesReader::~CFavoritesReader()
{
    Clear();
}

QString CFavoritesReader::Folder() const
{
    return m_strFolder.isEmpty() ? taluvo::import::DefaultFavoritesFolder() : m_strFolder;
}

SFavoriteNode* CFavoritesReader::Read()
{
    const QString folder = Folder();
    if (folder.isEmpty())
        return nullptr;
    const fs::path root = taluvo::import::NativePath(folder);
    std::error_code ec;
    if (!fs::is_directory(root, ec))
        return nullptr;

    Clear();
    m_pRoot = new SFavoriteNode;
    // An unlistable favorites folder gives an empty top level.
    if (const auto items = ListFolder(root)) {
        SWalk walk;
        if (const auto id = IdentifyFolder(root))
            walk.visited.insert(*id);
        ReadFolder(*items, m_pRoot, walk);
    }
    return m_pRoot;
}

void CFavoritesReader::FreeTree(SFavoriteNode* head)
{
    if (!head)
        return;
    for (SFavoriteNode* folder = head->m_pNextFolder; folder;) {
        SFavoriteNode* next = folder->m_pNextFolder;
        FreeTree(folder->m_pChild);
        delete folder;
        folder = next;
    }
    for (SFavoriteNode* link = head->m_pNextLink; link;) {
        SFavoriteNode* next = link->m_pNextLink;
        delete link;
        link = next;
    }
    delete head;
}

void CFavoritesReader::Clear()
{
    FreeTree(m_pRoot);
    m_pRoot = nullptr;
}
