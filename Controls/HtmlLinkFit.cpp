#include "Controls/HtmlLinkFit.h"

#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

const QChar kEllipsis(0x2026);

// The length of the character entity ("&amp;", "&#38;") at the position, 0 when none starts there.
qsizetype EntityLength(const QString& text, qsizetype at)
{
    qsizetype end = at + 1;
    if (end < text.size() && text.at(end) == QLatin1Char('#'))
        ++end;
    const qsizetype nameStart = end;
    while (end < text.size() && end - nameStart < 10 && text.at(end).isLetterOrNumber() && text.at(end).unicode() < 128)
        ++end;
    return end > nameStart && end < text.size() && text.at(end) == QLatin1Char(';') ? end + 1 - at : 0;
}

// A link's text in units that may not be split: a character entity, a surrogate pair or one
// code unit.
QStringList Units(const QString& text)
{
    QStringList units;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = 1;
        if (text.at(at) == QLatin1Char('&'))
            length = std::max<qsizetype>(1, EntityLength(text, at));
        else if (text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate())
            length = 2;
        units << text.mid(at, length);
        at += length;
    }
    return units;
}

struct Link {
    qsizetype start = 0; // of its text in the HTML
    qsizetype length = 0;
    QStringList units;
};

// The link's text with keep of its units: all of them give the text whole.
QString Shortened(const Link& link, qsizetype keep)
{
    const qsizetype count = link.units.size();
    if (keep >= count)
        return link.units.join(QString());
    const qsizetype left = (keep + 1) / 2;
    const qsizetype right = keep / 2;
    return link.units.mid(0, left).join(QString()) + kEllipsis + link.units.mid(count - right).join(QString());
}

QString Compose(const QString& html, const std::vector<Link>& links, const std::vector<qsizetype>& keeps)
{
    QString out;
    qsizetype at = 0;
    for (size_t i = 0; i < links.size(); ++i) {
        out += QStringView(html).mid(at, links[i].start - at);
        out += Shortened(links[i], keeps[i]);
        at = links[i].start + links[i].length;
    }
    out += QStringView(html).mid(at);
    return out;
}

} // namespace

QString FitLinkTexts(const QString& html, int room, const std::function<int(const QString&)>& width)
{
    if (width(html) <= room)
        return html;
    // Each "<a ...>text</a>" whose text holds no tag.
    std::vector<Link> links;
    for (qsizetype at = html.indexOf(QLatin1String("<a"), 0, Qt::CaseInsensitive); at >= 0;
         at = html.indexOf(QLatin1String("<a"), at + 2, Qt::CaseInsensitive)) {
        const QChar after = at + 2 < html.size() ? html.at(at + 2) : QChar();
        if (after != QLatin1Char('>') && !after.isSpace())
            continue;
        const qsizetype open = html.indexOf(QLatin1Char('>'), at);
        if (open < 0)
            break;
        const qsizetype close = html.indexOf(QLatin1Char('<'), open + 1);
        if (close < 0 || !QStringView(html).mid(close).startsWith(QLatin1String("</a>"), Qt::CaseInsensitive))
            continue;
        Link link;
        link.start = open + 1;
        link.length = close - open - 1;
        link.units = Units(html.mid(link.start, link.length));
        links.push_back(link);
        at = close;
    }
    if (links.empty())
        return html;
    std::vector<qsizetype> keeps(links.size(), 0);
    for (size_t i = 0; i < links.size(); ++i) {
        // This link with every other one at its ellipsis: the room its own row leaves it.
        std::vector<qsizetype> probe(links.size(), 0);
        auto fits = [&](qsizetype keep) {
            probe[i] = keep;
            return width(Compose(html, links, probe)) <= room;
        };
        qsizetype low = 0;
        qsizetype high = links[i].units.size();
        if (!fits(high)) {
            // The most units that still fit; none at all leaves the ellipsis alone.
            --high;
            while (low < high) {
                const qsizetype middle = (low + high + 1) / 2;
                if (fits(middle))
                    low = middle;
                else
                    high = middle - 1;
            }
        }
        keeps[i] = high;
    }
    // Links sharing a line need less each: all give way together until the whole fits.
    QString fitted = Compose(html, links, keeps);
    while (width(fitted) > room && std::any_of(keeps.begin(), keeps.end(), [](qsizetype keep) { return keep > 0; })) {
        for (qsizetype& keep : keeps)
            keep = keep * 3 / 4;
        fitted = Compose(html, links, keeps);
    }
    return fitted;
}
