#include "platform/shell/MailClient.h"

#include "platform/base/TextCodec.h"
#include "platform/shell/ShellHooks.h"

#include <QStandardPaths>

#include <cerrno>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace taluvo::shell {

QStringList MailClientArguments(
    const QString& recipient, const QString& subject, const QString& body, const QStringList& attachments)
{
    QStringList argv { QStringLiteral("xdg-email"), QStringLiteral("--utf8") };
    if (!subject.isEmpty())
        argv << QStringLiteral("--subject") << subject;
    if (!body.isEmpty())
        argv << QStringLiteral("--body") << body;
    for (const QString& path : attachments)
        argv << QStringLiteral("--attach") << path;
    if (!recipient.isEmpty())
        argv << recipient;
    return argv;
}

MailResult SendToMailClient(
    const QString& recipient, const QString& subject, const QString& body, const QStringList& attachments, DWORD waitMs)
{
    QStringList request { recipient, subject, body };
    request += attachments;
    if (OfferToHook({ RequestKind::MailClient, request }))
        return MailResult::Accepted;

    const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-email"));
    if (program.isEmpty())
        return MailResult::NoClient;
    // Arguments travel as argv elements, never through a shell; "--utf8" tells xdg-email that the
    // texts are UTF-8, which the project's codec gives for every valid text.
    std::vector<std::string> args;
    for (const QString& a : MailClientArguments(recipient, subject, body, attachments))
        args.push_back(AnsiEncode(a).toStdString());
    args[0] = AnsiEncode(program).toStdString();
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return MailResult::NoClient;

    // Wait for its answer within the bound; the pid descriptor makes the wait a plain poll.
    const int pidfd = static_cast<int>(syscall(SYS_pidfd_open, child, 0));
    bool ended = true;
    if (pidfd >= 0) {
        pollfd p { pidfd, POLLIN, 0 };
        int n = 0;
        do {
            n = poll(&p, 1, waitMs == INFINITE ? -1 : static_cast<int>(waitMs));
        } while (n < 0 && errno == EINTR);
        ended = n > 0;
        close(pidfd);
    }
    if (!ended)
        return MailResult::Accepted; // the client is in the foreground with the message
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? MailResult::Accepted : MailResult::Refused;
}

} // namespace taluvo::shell
