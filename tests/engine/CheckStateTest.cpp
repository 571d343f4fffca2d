// What the page dialogs leave in a context's check state when the watched address or part changed.
#include "engine/CheckState.h"

#include "core/Crc32.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

struct StoredState {
    DWORD checksum = 0x12345678;
    DWORD lastChecked = 1700000000;
    DWORD lastModified = 1690000000;
    int status = statusNew;
    DWORD error = 0;
    DWORD http = 200;
};

void Fill(SPageCtx& ctx, const StoredState& s)
{
    ctx.m_dwCheckSum = s.checksum;
    ctx.m_tLastChecked = s.lastChecked;
    ctx.m_tLastModified = s.lastModified;
    ctx.m_iStatus = s.status;
    ctx.m_dwErrorCode = s.error;
    ctx.m_dwHttpStatusCode = s.http;
}

DWORD Crc(const char* text)
{
    return CCrc32::Of(text, std::strlen(text));
}

TEST(CheckState, ModifiedPageTakesItsFirstChecksumFromAGoodDownloadOrIsForgotten)
{
    struct Case {
        const char* name;
        bool changed;
        const char16_t* html; // what a download in the dialog left
        int statusAfterDownload;
        DWORD errorAfterDownload;
        DWORD checksum;
        int status;
        DWORD lastChecked;
    };
    // The part watched with start "<b>" and stop "</b>" in "<b>hello</b>" is "hell" (the unit before
    // the stop text is left out, as in every check).
    const Case cases[] = {
        { "nothing changed: the stored state stays", false, u"", statusNew, 0, 0x12345678, statusNew, 1700000000 },
        { "changed without a download: never checked", true, u"", statusNew, 0, kNoChecksum, statusUnknown, kNoTime },
        { "changed after a good download: first checksum, never New", true, u"<b>hello</b>", statusNew, 0, Crc("hell"),
            statusOrdinary, 1700000000 },
        { "changed after a failed download: never checked", true, u"old text", statusError, 12029, kNoChecksum,
            statusUnknown, kNoTime },
        { "changed, the part empty in the download: no checksum, Unknown", true, u"<b></b>", statusOrdinary, 0,
            kNoChecksum, statusUnknown, 1700000000 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SPageCtx ctx;
        Fill(ctx, StoredState {});
        ctx.m_strStartCheckMask = QStringLiteral("<b>");
        ctx.m_strStopCheckMask = QStringLiteral("</b>");
        ctx.m_strHtml = QString::fromUtf16(c.html);
        ctx.m_iStatus = c.statusAfterDownload;
        ctx.m_dwErrorCode = c.errorAfterDownload;
        SettleModifiedCheckState(ctx, c.changed);
        EXPECT_EQ(ctx.m_dwCheckSum, c.checksum);
        EXPECT_EQ(ctx.m_iStatus, c.status);
        EXPECT_EQ(ctx.m_tLastChecked, c.lastChecked);
        if (c.status == statusUnknown && c.lastChecked == kNoTime) {
            EXPECT_EQ(ctx.m_tLastModified, kNoTime);
            EXPECT_EQ(ctx.m_dwErrorCode, 0u);
            EXPECT_EQ(ctx.m_dwHttpStatusCode, 0u);
        }
    }
}

TEST(CheckState, ChosenPartKeepsTheStoredChecksumWithoutADownload)
{
    SPageCtx ctx;
    Fill(ctx, StoredState { 0xCAFE, 1, 2, statusOrdinary, 0, 200 });
    ctx.m_strStartCheckMask = QStringLiteral("nowhere");
    ApplyChosenPart(ctx);
    EXPECT_EQ(ctx.m_dwCheckSum, 0xCAFEu);
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary);

    // After a failed download the old checksum and the error stay.
    ctx.m_strHtml = QStringLiteral("some page");
    ctx.m_iStatus = statusError;
    ctx.m_dwErrorCode = 12002;
    ApplyChosenPart(ctx);
    EXPECT_EQ(ctx.m_dwCheckSum, 0xCAFEu);
    EXPECT_EQ(ctx.m_iStatus, statusError);

    // With a good download a start text that does not occur leaves no checksum.
    ctx.m_iStatus = statusOrdinary;
    ctx.m_dwErrorCode = 0;
    ApplyChosenPart(ctx);
    EXPECT_EQ(ctx.m_dwCheckSum, kNoChecksum);
    EXPECT_EQ(ctx.m_iStatus, statusUnknown);

    // Both texts empty on a page of three or more characters: a checksum, Ordinary.
    ctx.m_strStartCheckMask.clear();
    ApplyChosenPart(ctx);
    EXPECT_EQ(ctx.m_dwCheckSum, Crc("some pa"));
    EXPECT_EQ(ctx.m_iStatus, statusOrdinary);
}

TEST(CheckState, TitleIsTheFirstTitleTagsTextOnOneLine)
{
    struct Case {
        const char16_t* html;
        const char16_t* title;
    };
    const Case cases[] = {
        { u"<HTML><TITLE>  Big News \t</TITLE></HTML>", u"Big News" },
        { u"<title>one</title><title>two</title>", u"one" },
        { u"<title>open only", u"" },
        { u"no title here</title>", u"" },
        { u"<title lang=en>attributes</title>", u"" },
        { u"<title></title>", u"" },
        // A title never brings a line break or a control character into the description.
        { u"<title>\r\n  evil\r\nDescription : FAKE\r\n</title>", u"evil Description : FAKE" },
        { u"<title>a\u0085b\u2028c\td\u001b[1me</title>", u"a b c d [1me" },
    };
    for (const Case& c : cases) {
        SPageCtx ctx;
        ctx.m_strHtml = QString::fromUtf16(c.html);
        EXPECT_EQ(ctx.GetHtmlTitle(), QString::fromUtf16(c.title)) << ctx.m_strHtml.toStdString();
    }
}

} // namespace
