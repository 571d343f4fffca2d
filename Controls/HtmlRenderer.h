// CHtmlRenderer measures and draws the program's small markup language (a subset of HTML with a
// CSS-like style sheet, tables, images and links) on a device context. It knows nothing of
// windows: its owner hands it a device context, a text and a rectangle, forwards the mouse, and
// receives sizes, drawing and two window messages. It reports no errors: bad markup, unknown
// names and missing resources give empty text or default values.
//
// This header holds the object, its vocabulary tables (tags, entities, colours), the markup
// scanner and attribute readers, and the style sheet. All of it runs on the owner's thread.
#pragma once

#include "Controls/DrawManager.h"
#include "Controls/HtmlRecords.h"
#include "Controls/HtmlStyle.h"
#include "platform/ui/CommCtrl.h"
#include "platform/ui/Gdi.h"

#include <QString>

#include <map>
#include <optional>
#include <vector>

struct SHtmlTagPicture;

class CHtmlRenderer {
public:
    CHtmlRenderer();
    virtual ~CHtmlRenderer();
    CHtmlRenderer(const CHtmlRenderer&) = delete;
    CHtmlRenderer& operator=(const CHtmlRenderer&) = delete;

    // Owner configuration.
    void SetRepaintNotify(HWND hwnd, UINT message, LPARAM lParam);
    void SetLinkNotify(HWND hwnd, UINT message, LPARAM lParam);
    void EnableEscapes(BOOL enable) { m_bEscapes = enable; }
    void EnableColors(BOOL enable) { m_bUseColors = enable; }
    void SetDisabledColor(COLORREF color) { m_clrDisabled = color; }
    void SetShadow(int dx, int dy, BYTE darkness, BOOL soft, int depthX, int depthY);
    // The Linux build has no resource libraries: a library would have to run its code to be
    // opened. Any library held before is released and none is held afterwards.
    void SetResourceDll(LPCWSTR fileName, DWORD flags);
    CDrawManager& GetDrawManager() { return m_drawManager; }

    // Style sheet. The LPCWSTR forms take a text, a string-resource id (below 0x10000) or null.
    void SetStyleSheet(const QString& text); // a null QString loads the default sheet
    void SetStyleSheet(LPCWSTR text);
    void LoadDefaultStyleSheet();
    void LoadStyleSheetResource(UINT id, LPCWSTR library);
    const QString& GetStyleSheet() const { return m_strStyleSheet; }
    void SetSelectorStyle(const QString& selector, const QString& properties);
    void SetSelectorStyle(LPCWSTR selector, LPCWSTR properties);
    std::optional<QString> FindSelectorStyle(const QString& selector) const;
    std::optional<QString> FindSelectorStyle(LPCWSTR selector) const;
    void RemoveSelectorStyle(const QString& selector);
    void RemoveSelectorStyle(LPCWSTR selector);

    // Vocabulary: enter or replace one entry (the name may be a string-resource id).
    void AddTag(const QString& name, int id, const QString& style);
    void AddTag(LPCWSTR name, int id, LPCWSTR style);
    void AddEntity(const QString& entity, const QString& replacement);
    void AddEntity(LPCWSTR entity, LPCWSTR replacement);
    void AddColor(const QString& name, COLORREF color);
    void AddColor(LPCWSTR name, COLORREF color);

    // String resources; empty on any failure.
    QString LoadResString(UINT id) const;
    QString LoadResStringFromDll(UINT id, LPCWSTR library) const;
    QString GetResStringLine(UINT id, int line) const;

    // Widest allowed layout in pixels, 0 for no limit; owners write it before measuring.
    int m_nMaxWidth = 0;

    // Layout and drawing. MeasureHtml keeps the text and the layout it made; RenderHtml draws that
    // text into a rectangle of (at least) the measured size. Drawing is not clipped.
    void MeasureHtml(HDC hdc, const QString& text, SIZE* size);
    void RenderHtml(HDC hdc, const RECT* rect);
    void RenderHtmlAt(HDC hdc, const QString& text, POINT point);

    // Mouse and timer input from the owner.
    BOOL OnSetCursor(POINT point); // TRUE when the renderer set the hand cursor
    void OnClick(POINT point);
    BOOL StepAnimations(); // TRUE when a frame changed and the owner should draw again
    int FindLinkAt(POINT point) const;
    // Clickable areas of the last layout (one per line a link spans).
    size_t LinkAreaCount() const { return m_linkAreas.size(); }

    // Images of "ilst" tags without a source of their own. The list copies the images.
    void SetImageList(HBITMAP bitmap, int cx, int cy, int count, COLORREF mask);
    void SetImageList(UINT bitmapId, int cx, int cy, int count, COLORREF mask);

    // --- Operations the layout, tag and table code use ---

    // Text preparation: carriage returns, and line feeds and tabs while escapes are off.
    void PreprocessText();
    // The text of a run or an attribute value with its entities replaced, in one sweep.
    QString ExpandEntities(QStringView text) const;
    // GetNextAttribute with the value's entities expanded.
    QString NextAttribute(const QString& attributes, int& pos, QString& name) const;
    int GetTagId(QString name, QString& styleName, BOOL& closing) const;
    COLORREF ColorByName(const QString& name, COLORREF defaultColor) const;

    // Markup scanning. Positions are indexes into the text; every call leaves the position
    // between its start and the end of the text.
    static QString GetNextRun(const QString& text, QString& tag, int& pos);
    static QString ReadTag(const QString& text, int& pos);
    static QString SplitTagName(QString& tag);
    static QString GetNextAttribute(const QString& attributes, int& pos, QString& name);
    static QString GetNextValue(const QString& text, int& pos, QChar separator, const QString& delimiters);
    static BOOL FindTag(const QString& text, int& pos, const QString& name);
    static BOOL SkipToWordStart(const QString& text, int& pos);
    static QChar FindOneOf(const QString& text, int& pos, const QString& set);
    static QChar SkipAllOf(const QString& text, int& pos, const QString& set);
    static BOOL SkipSpacesTo(const QString& text, int& pos, QChar ch);
    static int CountChar(const QString& text, QChar ch);

    // Table searches: from the "<" of an opening tag to the "<" of its matching closing tag, or
    // to the end of the text when there is none.
    SIZE CountTableSize(const QString& text);
    static void FindTableEnd(const QString& text, int& pos);
    static void FindRowEnd(const QString& text, int& pos);
    static void FindCellEnd(const QString& text, int& pos);

    // Attribute readers.
    SIZE ParseTableAttributes(const QString& attributes, SHtmlStyle& style, BOOL table);
    void ParseImageAttributes(const QString& attributes, SHtmlImage& image);
    void ParseFontStyleLetters(const QString& letters);
    UINT ParseImageStyleLetters(const QString& letters) const;
    static BOOL IsPercent(const QString& value);
    int ParseFillEffect(const QString& value, int defaultEffect);
    QString SplitToFit(QString& text, int lineWidth, int& width);

    // Style sheet application and value parsers.
    void ApplySelectorStyle(const QString& selector, SHtmlStyle& style);
    void ParseCssProperties(const QString& properties, SHtmlStyle& style);
    void ResetStyle();
    COLORREF ParseColor(const QString& value, COLORREF defaultColor) const;
    int ParseLength(const QString& value, int defaultValue, BOOL htmlSize) const;
    static BOOL ParseFontStyle(const QString& value, BOOL current);
    static int ParseFontWeight(const QString& value);
    static int ParseTextAlign(const QString& value, int current);
    static int ParseVerticalAlign(const QString& value, int current);
    static int ParseTextTransform(const QString& value, int current);
    static int ParseBorderStyle(const QString& value, int current);
    int ParseBorderWidth(const QString& value, int current) const;
    static void ParseTextDecoration(const QString& value, SHtmlStyle& style);

protected:
    struct SBlock; // the pen and line bookkeeping of one plain block

    // Layout passes and lines.
    void DrawBlocks(SIZE* size, const RECT* rect);
    // wrapWidth: what the measure pass's rectangle was wide (see SBlock::width).
    SIZE DrawMarkup(const QString& text, const RECT* rect, int wrapWidth);
    int BeginLine(int x);
    int NewLine(SBlock& block, int count);
    void StartLine(SBlock& block);
    int AlignTextInLine(int y, int height);
    int AlignObjectInLine(int y, int height);
    void NextTabStop(int* x, int count);
    void LayoutText(SBlock& block, QString run);
    // A text run as the scanner returns it: its line feeds and tabs break and tab, the text
    // between them is laid out with its entities expanded.
    void LayoutRun(SBlock& block, const QString& run);

    // Tags, style stack and inline objects.
    void HandleTag(SBlock& block, const QString& name, const QString& attributes);
    void ApplyStyleTag(int id, const QString& name, const QString& attributes);
    BOOL PushPopStyle(BOOL closing);
    void ApplyFont();
    void CreateFontFromDescription();
    void DescribeFont(); // m_lf from the current style
    static BOOL ImageHasShadow(const SHtmlImage& image);
    void PlaceRule(SBlock& block, const QString& attributes);
    void PlaceImage(SBlock& block, int id, const QString& attributes);
    // One loader per image kind: the picture and the size it takes, or false when the tag shows
    // nothing (no picture, or a strip's cell out of range).
    bool LoadBmpTag(const SHtmlImage& image, SHtmlTagPicture& picture);
    bool LoadIconTag(const SHtmlImage& image, SHtmlTagPicture& picture);
    bool LoadStripTag(const SHtmlImage& image, SHtmlTagPicture& picture);
    bool LoadImageListTag(const SHtmlImage& image, SHtmlTagPicture& picture);
    // The bitmap of a "bmp" tag or a strip from the first source the record names.
    bool LoadTagBitmap(const SHtmlImage& image, SHtmlTagPicture& picture);
    void PlaceString(SBlock& block, const QString& attributes);
    // Room for an object of width `width`: wraps first when it does not fit.
    void FitObject(SBlock& block, int width);

    // The table searches, counting the characters they pass over.
    BOOL SeekTag(const QString& text, int& pos, const QString& name);
    void SeekEnd(void (*find)(const QString&, int&), const QString& text, int& pos);

    // Tables.
    SIZE DrawTable(const QString& text, const RECT* area);
    void DrawTableRow(const QString& text, const RECT* inner, SHtmlTable& table, int row);
    void DrawTableCell(const QString& text, const RECT* cellRect, SHtmlTableCell& cell);
    void FillClipped(const RECT& rect);

    // Images, links and animations.
    HICON LoadIconFromModule(int id, int width, int height);
    HICON LoadIconFromFile(const QString& file, int width, int height);
    HICON LoadIconFromDll(int id, int width, int height);
    HBITMAP LoadBitmapFromModule(int id);
    HBITMAP LoadBitmapFromFile(const QString& file);
    HBITMAP LoadBitmapFromDll(int id);
    void DrawBackgroundImage(HDC dc, int x, int y, int width, int height, const QString& background);
    void AddLinkArea(int left, int top, int right, int bottom);
    void ActivateLink(int index);
    void OpenUrl(const QString& address);
    void NotifyRepaint(WPARAM wParam);
    void NotifyLink(const QString& text);

    void BuildTagTable();
    void BuildEntityTable();
    void BuildColorTable();
    void LoadHandCursor();
    // A text argument that may be a string-resource id; null stays a null QString.
    QString TextOrResource(LPCWSTR text) const;
    // Width of the first `count` characters (all when -1) in the context's font; 0 without one.
    // Justified text is measured word by word, the way it is drawn, so the words of a justified
    // line add up to exactly the pixels the measure pass gave it.
    int TextWidth(QStringView text, int count = -1) const;
    // Draws a piece word by word; on a justified line its spaces are widened so the line ends on
    // the block's right edge. Returns its advance.
    int DrawWords(SBlock& block, int top, const QString& piece, int pieceWidth, bool justify);

    std::vector<SHtmlTable> m_arrTables;
    int m_nTableIndex = -1;
    HWND m_hRepaintWnd = nullptr;
    UINT m_nRepaintMsg = 0;
    LPARAM m_lRepaintParam = 0;
    HWND m_hLinkWnd = nullptr;
    UINT m_nLinkMsg = 0;
    LPARAM m_lLinkParam = 0;
    SHtmlStyle m_curStyle;
    SHtmlLine m_curLine;
    CDrawManager m_drawManager;
    HIMAGELIST m_hImageList = nullptr; // images of "ilst" tags without a source of their own
    int m_cxImageList = 0;
    int m_cyImageList = 0;
    HMODULE m_hResModule = nullptr;
    BOOL m_bOwnResModule = FALSE;
    HCURSOR m_hHandCursor = nullptr;
    HFONT m_hOldFont = nullptr;
    int m_nOldBkMode = 0;
    COLORREF m_clrOldText = 0;
    COLORREF m_clrOldBk = 0;
    BOOL m_bUseColors = TRUE;
    COLORREF m_clrDisabled = 0;
    RECT m_rcBlock;
    HDC m_hDC = nullptr;
    QString m_strMarkup;
    BOOL m_bMeasure = TRUE;
    int m_nTabSize = 32;
    int m_nLine = 0;
    int m_nHoverLink = -2;
    int m_nLinkId = -1;
    int m_nAnimation = -1;
    BOOL m_bEscapes = TRUE;
    BOOL m_bImageShadowSoft = TRUE;
    int m_nImageShadowDx = 4;
    int m_nImageShadowDy = 4;
    int m_nImageShadowDepthX = 7;
    int m_nImageShadowDepthY = 7;
    int m_nImageShadowDarkness = 50;
    COLORREF m_clrImageShadow = RGB(128, 128, 128);
    TEXTMETRIC m_tm;
    LOGFONT m_lf;
    HFONT m_hFont = nullptr;
    QString m_strStyleSheet;
    std::vector<SHtmlLine> m_lines;
    std::vector<SHtmlStyle> m_styleStack;
    std::vector<SHtmlLinkArea> m_linkAreas;
    std::vector<SHtmlAnimation> m_animations;
    std::vector<SHtmlImageBox> m_imageBoxes; // one per image tag of the measured text
    int m_nImage = -1; // index of the current image tag in the draw pass
    qint64 m_nImagePixels = 0; // pixels the pass's pictures took so far
    // Ordered by key, compared code unit by code unit; lookups are exact.
    std::map<QString, COLORREF> m_colors;
    std::map<QString, QString> m_selectors;
    std::map<QString, QString> m_entities;
    QString m_strEntityStarts;
    mutable int m_nSpaceWidth
        = -1; // of the context's font; -1 until measured // the first character of every entity, for a quick test
    std::map<QString, SHtmlTag> m_tags;
    int m_nTableDepth = 0; // tables open around the one being laid out
    // What the passes cost since it was last cleared: characters the searches passed over,
    // characters measured, and pixels of pictures and fills. Tests bound it for hostile markup.
    struct SWork {
        qint64 scanned = 0;
        qint64 measured = 0;
        qint64 pixels = 0;
    };
    mutable SWork m_work;
    // Draw pass: the part of the target that can show anything, when the target knows it.
    // Items wholly above or below it are laid out but not drawn.
    RECT m_rcVisible { 0, 0, 0, 0 };
    bool m_bVisibleKnown = false;
    bool IsRowVisible(int top, int bottom) const
    {
        return !m_bVisibleKnown || (bottom > m_rcVisible.top && top < m_rcVisible.bottom);
    }
};
