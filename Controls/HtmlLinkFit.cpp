#include "Controls/HtmlLinkFit.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

const QChar kEllipsis(0x2026);

// A link's text in units that may not be split: a character entity, a surrogate pair or one
// code unit.
QStringList Units(const QString& text)
{
    static const QRegularExpression entity(QStringLiteral("^&#?[A-Za-z0-9]{1,10};"));
    QStringList units;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype length = 1;
        if (text.at(at) == QLatin1Char('&')) {
            const QRegularExpressionMatch match = entity.match(
                text, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            if (match.hasMatch())
                length = match.capturedLength();
        } else if (text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate()) {
            length = 2;
        }
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
    static const QRegularExpression anchor(
        QStringLiteral("<a\\b[^>]*>([^<]*)</a>"), QRegularExpression::CaseInsensitiveOption);
    std::vector<Link> links;
    for (auto it = anchor.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        Link link;
        link.start = match.capturedStart(1);
        link.length = match.capturedLength(1);
        link.units = Units(match.captured(1));
        links.push_back(link);
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
