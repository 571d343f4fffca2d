// The one road by which the program asks the desktop for something outside itself: opening an
// address or file, running a program, playing a sound, handing a message to the mail client.
// Tests install a hook that receives these requests instead of having them carried out.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace taluvo::shell {

enum class RequestKind {
    OpenUrl, // arguments: {address}
    OpenFile, // arguments: {path}
    RunProgram, // arguments: argv, program first
    PlaySound, // arguments: {file or packaged sound name}
    MailClient, // arguments: {recipient, subject, body, attachment paths...}
};

struct Request {
    RequestKind kind;
    QStringList arguments;
};

// Returns true when it handled the request (then nothing is carried out).
using RequestHook = std::function<bool(const Request&)>;

// Installs the hook (an empty function removes it); returns the previous one.
RequestHook SetRequestHook(RequestHook hook);

// Offers a request to the installed hook; true when the hook took it.
bool OfferToHook(const Request& request);

} // namespace taluvo::shell
