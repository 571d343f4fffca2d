// The renderer's three vocabulary tables: tag names, character entities and colour names.
#include "Controls/HtmlRenderer.h"

#include <iterator>

namespace {

struct TagEntry {
    const char16_t* name;
    int id;
    const char16_t* style;
};

// The line feed and tab names never match: text preparation leaves neither character behind.
constexpr TagEntry kTags[] = {
    { u"b", TAG_BOLD, u"bold" },
    { u"i", TAG_ITALIC, u"italic" },
    { u"em", TAG_ITALIC, u"italic" },
    { u"u", TAG_UNDERLINE, u"underline" },
    { u"s", TAG_STRIKEOUT, u"strikeout" },
    { u"strike", TAG_STRIKEOUT, u"strikeout" },
    { u"font", TAG_FONT, u"font" },
    { u"hr", TAG_HR, u"" },
    { u"br", TAG_BR, u"" },
    { u"\n", TAG_BR, u"" },
    { u"t", TAG_TAB, u"" },
    { u"\t", TAG_TAB, u"" },
    { u"left", TAG_LEFT, u"left" },
    { u"center", TAG_CENTER, u"center" },
    { u"right", TAG_RIGHT, u"right" },
    { u"justify", TAG_JUSTIFY, u"justify" },
    { u"baseline", TAG_BASELINE, u"baseline" },
    { u"top", TAG_TOP, u"top" },
    { u"vcenter", TAG_VCENTER, u"vcenter" },
    { u"middle", TAG_VCENTER, u"vcenter" },
    { u"bottom", TAG_BOTTOM, u"bottom" },
    { u"bmp", TAG_BMP, u"" },
    { u"icon", TAG_ICON, u"" },
    { u"ilst", TAG_ILST, u"" },
    { u"string", TAG_STRING, u"" },
    { u"body", TAG_STYLE, u"body" },
    { u"h1", TAG_STYLE, u"h1" },
    { u"h2", TAG_STYLE, u"h2" },
    { u"h3", TAG_STYLE, u"h3" },
    { u"h4", TAG_STYLE, u"h4" },
    { u"h5", TAG_STYLE, u"h5" },
    { u"h6", TAG_STYLE, u"h6" },
    { u"code", TAG_STYLE, u"code" },
    { u"pre", TAG_STYLE, u"pre" },
    { u"big", TAG_STYLE, u"big" },
    { u"small", TAG_STYLE, u"small" },
    { u"sub", TAG_STYLE, u"sub" },
    { u"sup", TAG_STYLE, u"sup" },
    { u"span", TAG_SPAN, u"span" },
    { u"a", TAG_LINK, u"link" },
};
static_assert(std::size(kTags) == 40);

struct EntityEntry {
    const char16_t* entity;
    const char16_t* replacement;
};

constexpr EntityEntry kEntities[] = {
    { u"&amp;", u"&" },
    { u"&bull;", u"\u2022" },
    { u"&copy;", u"\u00A9" },
    { u"&euro;", u"\u20AC" },
    { u"&gt;", u">" },
    { u"&iquest;", u"\u00BF" },
    { u"&lt;", u"<" }, // expanded after the tags are read, so it never opens one
    { u"&nbsp;", u" " }, // an ordinary space: a place where a line may break
    { u"&para;", u"\u00B6" },
    { u"&pound;", u"\u00A3" },
    { u"&quot;", u"\"" },
    { u"&reg;", u"\u00AE" },
    { u"&trade;", u"\u2122" },
};
static_assert(std::size(kEntities) == 13);

struct ColorEntry {
    const char16_t* name;
    BYTE r, g, b;
};

// The SVG colour keywords, except that darkseagreen keeps the blue of 139 the program always drew.
constexpr ColorEntry kColors[] = {
    { u"aqua", 0, 255, 255 },
    { u"black", 0, 0, 0 },
    { u"blue", 0, 0, 255 },
    { u"brown", 165, 42, 42 },
    { u"cyan", 0, 255, 255 },
    { u"gold", 255, 215, 0 },
    { u"gray", 128, 128, 128 },
    { u"green", 0, 128, 0 },
    { u"magenta", 255, 0, 255 },
    { u"maroon", 128, 0, 0 },
    { u"navy", 0, 0, 128 },
    { u"olive", 128, 128, 0 },
    { u"orange", 255, 165, 0 },
    { u"pink", 255, 192, 203 },
    { u"purple", 128, 0, 128 },
    { u"red", 255, 0, 0 },
    { u"silver", 192, 192, 192 },
    { u"snow", 255, 250, 250 },
    { u"violet", 238, 130, 238 },
    { u"white", 255, 255, 255 },
    { u"yellow", 255, 255, 0 },
    { u"aliceblue", 240, 248, 255 },
    { u"antiquewhite", 250, 235, 215 },
    { u"aquamarine", 127, 255, 212 },
    { u"azure", 240, 255, 255 },
    { u"beige", 245, 245, 220 },
    { u"bisque", 255, 228, 196 },
    { u"blanchedalmond", 255, 235, 205 },
    { u"blueviolet", 138, 43, 226 },
    { u"burlywood", 222, 184, 135 },
    { u"cadetblue", 95, 158, 160 },
    { u"chartreuse", 127, 255, 0 },
    { u"chocolate", 210, 105, 30 },
    { u"coral", 255, 127, 80 },
    { u"cornflowerblue", 100, 149, 237 },
    { u"cornsilk", 255, 248, 220 },
    { u"crimson", 220, 20, 60 },
    { u"darkblue", 0, 0, 139 },
    { u"darkcyan", 0, 139, 139 },
    { u"darkgoldenrod", 184, 134, 11 },
    { u"darkgray", 169, 169, 169 },
    { u"darkgreen", 0, 100, 0 },
    { u"darkkhaki", 189, 183, 107 },
    { u"darkmagenta", 139, 0, 139 },
    { u"darkolivegreen", 85, 107, 47 },
    { u"darkorange", 255, 140, 0 },
    { u"darkorchid", 153, 50, 204 },
    { u"darkred", 139, 0, 0 },
    { u"darksalmon", 233, 150, 122 },
    { u"darkseagreen", 143, 188, 139 },
    { u"darkslateblue", 72, 61, 139 },
    { u"darkslategray", 47, 79, 79 },
    { u"darkturquoise", 0, 206, 209 },
    { u"darkviolet", 148, 0, 211 },
    { u"deeppink", 255, 20, 147 },
    { u"deepskyblue", 0, 191, 255 },
    { u"dimgray", 105, 105, 105 },
    { u"dodgerblue", 30, 144, 255 },
    { u"firebrick", 178, 34, 34 },
    { u"floralwhite", 255, 250, 240 },
    { u"forestgreen", 34, 139, 34 },
    { u"fuchsia", 255, 0, 255 },
    { u"gainsboro", 220, 220, 220 },
    { u"ghostwhite", 248, 248, 255 },
    { u"goldenrod", 218, 165, 32 },
    { u"greenyellow", 173, 255, 47 },
    { u"honeydew", 240, 255, 240 },
    { u"hotpink", 255, 105, 180 },
    { u"indianred", 205, 92, 92 },
    { u"indigo", 75, 0, 130 },
    { u"ivory", 255, 255, 240 },
    { u"khaki", 240, 230, 140 },
    { u"lavender", 230, 230, 250 },
    { u"lavenderblush", 255, 240, 245 },
    { u"lawngreen", 124, 252, 0 },
    { u"lemonchiffon", 255, 250, 205 },
    { u"lightblue", 173, 216, 230 },
    { u"lightcoral", 240, 128, 128 },
    { u"lightcyan", 224, 255, 255 },
    { u"lightgoldenrodyellow", 250, 250, 210 },
    { u"lightgreen", 144, 238, 144 },
    { u"lightgrey", 211, 211, 211 },
    { u"lightpink", 255, 182, 193 },
    { u"lightsalmon", 255, 160, 122 },
    { u"lightseagreen", 32, 178, 170 },
    { u"lightskyblue", 135, 206, 250 },
    { u"lightslategray", 119, 136, 153 },
    { u"lightsteelblue", 176, 196, 222 },
    { u"lightyellow", 255, 255, 224 },
    { u"lime", 0, 255, 0 },
    { u"limegreen", 50, 205, 50 },
    { u"linen", 250, 240, 230 },
    { u"mediumaquamarine", 102, 205, 170 },
    { u"mediumblue", 0, 0, 205 },
    { u"mediumorchid", 186, 85, 211 },
    { u"mediumpurple", 147, 112, 219 },
    { u"mediumseagreen", 60, 179, 113 },
    { u"mediumslateblue", 123, 104, 238 },
    { u"mediumspringgreen", 0, 250, 154 },
    { u"mediumturquoise", 72, 209, 204 },
    { u"mediumvioletred", 199, 21, 133 },
    { u"midnightblue", 25, 25, 112 },
    { u"mintcream", 245, 255, 250 },
    { u"mistyrose", 255, 228, 225 },
    { u"moccasin", 255, 228, 181 },
    { u"navajowhite", 255, 222, 173 },
    { u"oldlace", 253, 245, 230 },
    { u"olivedrab", 107, 142, 35 },
    { u"orangered", 255, 69, 0 },
    { u"orchid", 218, 112, 214 },
    { u"palegoldenrod", 238, 232, 170 },
    { u"palegreen", 152, 251, 152 },
    { u"paleturquoise", 175, 238, 238 },
    { u"palevioletred", 219, 112, 147 },
    { u"papayawhip", 255, 239, 213 },
    { u"peachpuff", 255, 218, 185 },
    { u"peru", 205, 133, 63 },
    { u"plum", 221, 160, 221 },
    { u"powderblue", 176, 224, 230 },
    { u"rosybrown", 188, 143, 143 },
    { u"royalblue", 65, 105, 225 },
    { u"saddlebrown", 139, 69, 19 },
    { u"salmon", 250, 128, 114 },
    { u"sandybrown", 244, 164, 96 },
    { u"seagreen", 46, 139, 87 },
    { u"seashell", 255, 245, 238 },
    { u"sienna", 160, 82, 45 },
    { u"skyblue", 135, 206, 235 },
    { u"slateblue", 106, 90, 205 },
    { u"slategray", 112, 128, 144 },
    { u"springgreen", 0, 255, 127 },
    { u"steelblue", 70, 130, 180 },
    { u"tan", 210, 180, 140 },
    { u"teal", 0, 128, 128 },
    { u"thistle", 216, 191, 216 },
    { u"tomato", 255, 99, 71 },
    { u"turquoise", 64, 224, 208 },
    { u"wheat", 245, 222, 179 },
    { u"whitesmoke", 245, 245, 245 },
    { u"yellowgreen", 154, 205, 50 },
};
static_assert(std::size(kColors) == 140);

struct SysColorEntry {
    const char16_t* name;
    int index;
};

constexpr SysColorEntry kSysColors[] = {
    { u"activeborder", COLOR_ACTIVEBORDER },
    { u"activecaption", COLOR_ACTIVECAPTION },
    { u"appworkspace", COLOR_APPWORKSPACE },
    { u"background", COLOR_BACKGROUND },
    { u"buttonface", COLOR_BTNFACE },
    { u"buttonhighlight", COLOR_BTNHIGHLIGHT },
    { u"buttonshadow", COLOR_BTNSHADOW },
    { u"buttontext", COLOR_BTNTEXT },
    { u"captiontext", COLOR_CAPTIONTEXT },
    { u"graytext", COLOR_GRAYTEXT },
    { u"highlight", COLOR_HIGHLIGHT },
    { u"highlighttext", COLOR_HIGHLIGHTTEXT },
    { u"inactiveborder", COLOR_INACTIVEBORDER },
    { u"inactivecaption", COLOR_INACTIVECAPTION },
    { u"inactivecaptiontext", COLOR_INACTIVECAPTIONTEXT },
    { u"infobackground", COLOR_INFOBK },
    { u"infotext", COLOR_INFOTEXT },
    { u"menu", COLOR_MENU },
    { u"menutext", COLOR_MENUTEXT },
    { u"scrollbar", COLOR_SCROLLBAR },
    { u"threeddarkshadow", COLOR_3DDKSHADOW },
    { u"threedface", COLOR_BTNFACE },
    { u"threedhighlight", COLOR_BTNHIGHLIGHT },
    { u"threedlightshadow", COLOR_3DLIGHT },
    { u"threedshadow", COLOR_BTNSHADOW },
    { u"window", COLOR_WINDOW },
    { u"windowframe", COLOR_WINDOWFRAME },
    { u"windowtext", COLOR_WINDOWTEXT },
};
static_assert(std::size(kSysColors) == 28);

} // namespace

void CHtmlRenderer::BuildTagTable()
{
    for (const TagEntry& entry : kTags)
        AddTag(QString::fromUtf16(entry.name), entry.id, QString::fromUtf16(entry.style));
}

void CHtmlRenderer::BuildEntityTable()
{
    for (const EntityEntry& entry : kEntities)
        AddEntity(QString::fromUtf16(entry.entity), QString::fromUtf16(entry.replacement));
}

void CHtmlRenderer::BuildColorTable()
{
    for (const ColorEntry& entry : kColors)
        AddColor(QString::fromUtf16(entry.name), RGB(entry.r, entry.g, entry.b));
    // Read once: a later change of the desktop's colours does not reach an existing renderer.
    for (const SysColorEntry& entry : kSysColors)
        AddColor(QString::fromUtf16(entry.name), GetSysColor(entry.index));
}
