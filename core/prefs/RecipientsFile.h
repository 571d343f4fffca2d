// The recipients file of the e-mail alerts: one recipient a line, "address;name" in the ANSI code
// page. The rules of a line live here once, for the store that reads the recipients and for the
// places that tell the user why a file gives fewer recipients than it has lines.
#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace taluvo::prefs {

// What one line of the file gives.
struct SRecipientLine {
    enum EKind { blank, usable, invalidAddress, noName };
    EKind kind = blank;
    QString address; // the first field, A to Z lowered; empty for a blank line
    QString name; // the second field
};

// Fields are separated by runs of ';' (leading ones skipped); further fields are ignored.
SRecipientLine ReadRecipientLine(const QString& line);

// The file's lines as the store splits them: at each line feed, a carriage return before it
// dropped, a leading byte-order mark dropped, no empty line after the last line feed.
std::vector<QByteArray> RecipientFileLines(QByteArray content);

// A whole file looked through: how many recipients it gives and which lines give none.
struct SRecipientsFileCheck {
    enum EFile { noPath, missing, unreadable, read };
    struct SLine {
        int number = 0; // from 1
        QString text;
        SRecipientLine::EKind kind = SRecipientLine::blank;
    };
    EFile file = noPath;
    int usable = 0; // distinct usable addresses
    std::vector<SLine> unusable; // lines with text that give no recipient, in file order
};

SRecipientsFileCheck CheckRecipientsFile(const QString& path);

// What the user needs to know of the file, for a message: which file, whether alerts reach anyone,
// and the lines without a usable recipient (at most maxLines of them, then how many more). Empty
// when every line with text gives a recipient.
QString DescribeRecipientsProblem(const QString& path, const SRecipientsFileCheck& check, int maxLines = 10);

} // namespace taluvo::prefs
