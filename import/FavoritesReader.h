// The user's Internet Explorer style favorites: a folder tree of Internet shortcut files ("*.url",
// section "InternetShortcut", key "URL"), read into a tree of SFavoriteNode records.
//
// Tree shape: every level (the favorites folder and each folder below it) is one head node with two
// forward chains, its folders (m_pNextFolder) and its links (m_pNextLink), each in name order. A
// folder's m_pChild heads the folder's own level. Walks use m_pChild, m_pNextFolder and m_pNextLink
// alone; the back pointers are kept for callers that want them.
//
// Walk order (FreeTree frees in it, and the import lists in it): from a head node, every folder of
// the level with its whole level first, then the links of the level.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

#include <filesystem>

// Kinds of a node, with the values the shell gives folders and links.
constexpr DWORD SFGAO_FOLDER = 0x20000000;
constexpr DWORD SFGAO_LINK = 0x00010000;

struct SFavoriteNode {
    DWORD m_dwKind = 0; // SFGAO_FOLDER, SFGAO_LINK, or 0 for a head node
    QString m_pszName; // display name; null in a head node
    QString m_pszUrl; // the shortcut's URL; null in folders and head nodes
    SFavoriteNode* m_pParent = nullptr; // head: its folder (null at the top); first link: its head
    SFavoriteNode* m_pChild = nullptr; // folder: head of its level; null when it cannot be listed
    SFavoriteNode* m_pPrevFolder = nullptr; // previous folder; the head for the first folder
    SFavoriteNode* m_pNextFolder = nullptr; // next folder; in a head, the first folder
    SFavoriteNode* m_pPrevLink = nullptr; // previous link; null for the first link
    SFavoriteNode* m_pNextLink = nullptr; // next link; in a head, the first link
};

class CFavoritesReader {
public:
    CFavoritesReader() = default;
    virtual ~CFavoritesReader();
    CFavoritesReader(const CFavoritesReader&) = delete;
    CFavoritesReader& operator=(const CFavoritesReader&) = delete;

    // Reads the favorites folder into a new tree and returns its top head node; null when the
    // folder is missing (the earlier tree then stays). The tree lives until the next Read or the
    // reader's end.
    SFavoriteNode* Read();
    void Clear();
    static void FreeTree(SFavoriteNode* head);

    // Another favorites folder instead of <home>/Favorites; empty restores the default.
    void SetFolder(const QString& folder) { m_strFolder = folder; }
    QString Folder() const;

    SFavoriteNode* m_pRoot = nullptr;

private:
    QString m_strFolder;
};

// The URL of an Internet shortcut file; null when the file cannot be read, is not a shortcut or
// names no URL.
QString ReadInternetShortcutUrl(const std::filesystem::path& file);
