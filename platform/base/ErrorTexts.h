// Texts of the error numbers the program reports: WinSock, Windows and WinInet numbers keep their
// Windows values and get their texts from these tables.
#pragma once

#include <QString>

#include <optional>

namespace taluvo {

// The WinSock text of a code; "Unknown error" for codes not in the table.
const char16_t* SocketErrorText(int code);

// The system message of a Windows error number, ending with "\r\n" as system messages do;
// nothing for a number the table does not know.
std::optional<QString> SystemErrorMessage(unsigned code);

// The message a named module holds for a code ("wininet.dll": the WinInet numbers 12001-12175),
// ending with "\r\n"; nothing for an unknown module or code.
std::optional<QString> ModuleErrorMessage(const QString& module, unsigned code);

} // namespace taluvo
