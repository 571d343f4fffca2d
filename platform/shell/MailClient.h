// Handing a message to the desktop's mail client, which shows it to the user for sending: the
// request goes to the request hook first (ShellHooks.h), else to xdg-email.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>
#include <QStringList>

namespace taluvo::shell {

// What became of a hand-over.
enum class MailResult {
    Accepted, // the mail client took the message (or a hook did)
    Refused, // the client refused it or the user cancelled (xdg-email ended with an error)
    NoClient, // xdg-email is not installed or cannot be started
};

// recipient may be empty (the user fills it in); empty subject and body are left out; every
// attachment path is attached. xdg-email is waited for at most waitMs; one still running then
// (a mail client that stays in the foreground) has taken the message.
MailResult SendToMailClient(const QString& recipient, const QString& subject, const QString& body,
    const QStringList& attachments, DWORD waitMs = 20000);

// The xdg-email arguments for such a message, program first.
QStringList MailClientArguments(
    const QString& recipient, const QString& subject, const QString& body, const QStringList& attachments);

} // namespace taluvo::shell
