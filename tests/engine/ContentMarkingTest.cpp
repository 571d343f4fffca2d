#include "engine/ContentMarking.h"

#include <gtest/gtest.h>

namespace {

// One letter per character of the text: k black, g green, b blue, r red.
std::string Colours(const QString& text, const SContentMarking& marking)
{
    std::string letters(static_cast<size_t>(text.size()), '?');
    int expected = 0;
    for (const SColouredRange& r : marking.ranges) {
        EXPECT_EQ(r.first, expected) << "ranges must follow each other";
        EXPECT_LT(r.first, r.last) << "no empty range";
        expected = r.last;
        const char letter = r.colour == kMarkOutside ? 'k'
            : r.colour == kMarkStartText             ? 'g'
            : r.colour == kMarkWatched               ? 'b'
            : r.colour == kMarkStopText              ? 'r'
                                                     : '?';
        for (int i = r.first; i < r.last; ++i)
            letters[static_cast<size_t>(i)] = letter;
    }
    return letters;
}

TEST(ContentMarking, StartAndStopTextsAreFoundAndColoured)
{
    struct Case {
        const char16_t* text;
        const char16_t* start;
        const char16_t* stop;
        int startPos, stopPos;
        bool startFound;
        const char* colours;
    };
    const Case cases[] = {
        // Both found: black before, green start, blue part, red stop, black after.
        { u"xxABcdeYZww", u"AB", u"YZ", 2, 7, true, "kkggbbbrrkk" },
        // No texts at all: the whole page is watched.
        { u"abcd", u"", u"", 0, -1, true, "bbbb" },
        // Start found, no stop text: blue to the end.
        { u"xxABcde", u"AB", u"", 2, -1, true, "kkggbbb" },
        // No start text, stop found: blue from the beginning.
        { u"abcYZw", u"", u"YZ", 0, 3, true, "bbbrrk" },
        // Start not found: all black, the stop text not looked for.
        { u"abcYZw", u"Q", u"YZ", -1, -1, false, "kkkkkk" },
        // A stop text only before the start text is not found: black after the start.
        { u"YZxxABcd", u"AB", u"YZ", 4, -1, true, "kkkkggkk" },
        // Stop not found at all.
        { u"xABcd", u"AB", u"Q", 1, -1, true, "kggkk" },
        // The stop text right after the start text: no blue between them.
        { u"ABYZ", u"AB", u"YZ", 0, 2, true, "ggrr" },
        // The first occurrence counts, and the stop is searched after the start text's end.
        { u"ABAB-AB", u"AB", u"AB", 0, 2, true, "ggrrkkk" },
        // Exact case.
        { u"ab AB", u"AB", u"", 3, -1, true, "kkkgg" },
        // A start text overlapping the stop text's letters is not reused as the stop.
        { u"aaa", u"aa", u"a", 0, 2, true, "ggr" },
        // An empty page: nothing to colour.
        { u"", u"AB", u"YZ", -1, -1, false, "" },
        { u"", u"", u"", 0, -1, true, "" },
    };
    for (const Case& c : cases) {
        const QString text = QString::fromUtf16(c.text);
        const SContentMarking marking = MarkContent(text, QString::fromUtf16(c.start), QString::fromUtf16(c.stop));
        SCOPED_TRACE(text.toStdString() + " / " + QString::fromUtf16(c.start).toStdString() + " / "
            + QString::fromUtf16(c.stop).toStdString());
        EXPECT_EQ(marking.startPos, c.startPos);
        EXPECT_EQ(marking.stopPos, c.stopPos);
        EXPECT_EQ(marking.startFound, c.startFound);
        EXPECT_EQ(Colours(text, marking), c.colours);
    }
}

TEST(ContentMarking, PositionsCountUtf16CodeUnits)
{
    // A character outside the basic plane takes two positions, as it does in the rich edit.
    const QString text = QString::fromUtf16(u"\U0001F600<b>x</b>");
    const SContentMarking marking = MarkContent(text, QStringLiteral("<b>"), QStringLiteral("</b>"));
    EXPECT_EQ(marking.startPos, 2);
    EXPECT_EQ(marking.stopPos, 6);
    EXPECT_EQ(Colours(text, marking), "kkgggbrrrr");
}

} // namespace
