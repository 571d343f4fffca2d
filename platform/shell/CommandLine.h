// The one way the program turns a command line into a program and its arguments. No shell ever
// sees the line: it is split by the quoting rules of a desktop entry's Exec key, and placeholders
// are replaced after splitting, so an address with blanks, quotes or shell characters is always
// exactly one argument (or part of the one argument that held the placeholder).
//
// Splitting rules:
// - Blanks (space, tab, line breaks) outside double quotes separate arguments; runs of them count
//   as one, and leading or trailing blanks give no empty argument.
// - A double quote starts or ends a quoted run; quoted and unquoted runs that touch form one
//   argument ("a"b is ab), and "" alone is an empty argument.
// - Inside double quotes a backslash makes the next character literal when it is one of " ` $ \;
//   before any other character, and anywhere outside quotes, a backslash is an ordinary character
//   (so C:\dir or a\b stay as written).
// - A quote left open runs to the end of the line.
#pragma once

#include <QString>
#include <QStringList>

namespace taluvo::shell {

enum class Placeholders {
    // Each "%1" of an argument, from left to right, becomes the address (the inserted text is not
    // searched again).
    Percent1,
    // The field codes of a desktop entry's Exec key: %u %U %f %F become the address, %% becomes %,
    // every other code is dropped, and an argument that held only dropped codes goes away.
    DesktopEntry,
};

// The arguments of a command line, nothing replaced. Empty for a blank line.
QStringList SplitCommandLine(const QString& commandLine);

// The arguments with the address put in for the placeholders of the given style. substituted
// (when given) tells whether the line held a placeholder for the address at all, so a caller can
// append the address as an argument of its own when it did not.
QStringList SplitCommandLine(
    const QString& commandLine, const QString& address, Placeholders style, bool* substituted = nullptr);

} // namespace taluvo::shell
