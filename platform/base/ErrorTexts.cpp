#include "platform/base/ErrorTexts.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace taluvo {
namespace {

struct Entry {
    int code;
    const char16_t* text;
};

// Searched first to last; the first row with the code wins.
constexpr Entry kSocketErrors[] = {
    { 10013, u"Permission denied" },
    { 10048, u"Address already in use" },
    { 10049, u"Cannot assign requested address" },
    { 10047, u"Address family not supported by protocol family" },
    { 10037, u"Operation already in progress" },
    { 10053, u"Software caused connection abort" },
    { 10061, u"Connection refused" },
    { 10054, u"Connection reset by peer" },
    { 10039, u"Destination address required" },
    { 10014, u"Bad address" },
    { 10064, u"Host is down" },
    { 10065, u"No route to host" },
    { 10036, u"Operation now in progress" },
    { 10004, u"Interrupted function call." },
    { 10022, u"Invalid argument." },
    { 10056, u"Socket is already connected." },
    { 10024, u"Too many open files." },
    { 10040, u"Message too long" },
    { 10050, u"Network is down" },
    { 10052, u"Network dropped connection on reset" },
    { 10051, u"Network is unreachable" },
    { 10055, u"No buffer space available." },
    { 10042, u"Bad protocol option." },
    { 10057, u"Socket is not connected" },
    { 10038, u"Socket operation on non-socket." },
    { 10045, u"Operation not supported" },
    { 10046, u"Protocol family not supported" },
    { 10067, u"Too many processes." },
    { 10043, u"Protocol not supported" },
    { 10041, u"Protocol wrong type for socket" },
    { 10058, u"Cannot send after socket shutdown" },
    { 10044, u"Socket type not supported." },
    { 10060, u"Connection timed out." },
    { 10109, u"Class type not found." },
    { 10035, u"Resource temporarily unavailable" },
    { 11001, u"Host not found." },
    { 6, u"Specified event object handle is invalid." },
    { 87, u"One or more parameters are invalid." },
    { 996, u"Overlapped I/O event object not in signaled state." },
    { 997, u"Overlapped operations will complete later." },
    { 8, u"Insufficient memory available." },
    { 10093, u"Successful WSAStartup not yet performed." },
    { 11004, u"Valid name, no data record of requested type." },
    { 11003, u"This is a non-recoverable error." },
    { 10107, u"System call failure." },
    { 10091, u"Network subsystem is unavailable." },
    { 11002, u"Non-authoritative host not found." },
    { 10092, u"WINSOCK.DLL version out of range." },
    { 10101, u"Graceful shutdown in progress." },
    { 995, u"Overlapped operation aborted." },
    { 0, u"No error." },
};

// The Windows error numbers the program produces or passes on, in the project's own words.
constexpr Entry kSystemErrors[] = {
    { 0, u"The operation completed successfully." },
    { 1, u"Incorrect function." },
    { 2, u"The system cannot find the file specified." },
    { 3, u"The system cannot find the path specified." },
    { 4, u"The system cannot open the file." },
    { 5, u"Access is denied." },
    { 6, u"The handle is invalid." },
    { 8, u"Not enough memory resources are available to process this command." },
    { 13, u"The data is invalid." },
    { 14, u"Not enough storage is available to complete this operation." },
    { 32, u"The process cannot access the file because it is being used by another process." },
    { 38, u"Reached the end of the file." },
    { 39, u"The disk is full." },
    { 80, u"The file exists." },
    { 87, u"The parameter is incorrect." },
    { 109, u"The pipe has been ended." },
    { 111, u"The file name is too long." },
    { 112, u"There is not enough space on the disk." },
    { 122, u"The data area passed to a system call is too small." },
    { 123, u"The filename, directory name, or volume label syntax is incorrect." },
    { 183, u"Cannot create a file when that file already exists." },
    { 206, u"The filename or extension is too long." },
    { 234, u"More data is available." },
    { 258, u"The wait operation timed out." },
    { 259, u"No more data is available." },
    { 288, u"Attempt to release mutex not owned by caller." },
    { 995, u"The I/O operation has been aborted because of either a thread exit or an application request." },
    { 996, u"Overlapped I/O event is not in a signaled state." },
    { 997, u"Overlapped I/O operation is in progress." },
    { 1223, u"The operation was canceled by the user." },
    { 1460, u"This operation returned because the timeout period expired." },
};

// WinInet numbers (12001-12175).
constexpr Entry kInternetErrors[] = {
    { 12001, u"No more handles could be generated at this time." },
    { 12002, u"The operation timed out" },
    { 12003, u"An extended error was returned from the server." },
    { 12004, u"An internal error has occurred." },
    { 12005, u"The URL is invalid." },
    { 12006, u"The URL does not use a recognized protocol" },
    { 12007, u"The server name or address could not be resolved" },
    { 12008, u"A requested protocol could not be located." },
    { 12009, u"The option value is invalid." },
    { 12010, u"The length of an option is incorrect for the type of option." },
    { 12011, u"The option value cannot be set, only queried." },
    { 12012, u"The Internet support is being shut down or unloaded." },
    { 12013,
        u"The request to connect and log on to an FTP server could not be completed because the supplied user name is "
        u"incorrect." },
    { 12014,
        u"The request to connect and log on to an FTP server could not be completed because the supplied password is "
        u"incorrect." },
    { 12015, u"The request to connect to and log on to an FTP server failed." },
    { 12016, u"The requested operation is invalid." },
    { 12017,
        u"The operation was canceled, usually because the handle on which the request was operating was closed before "
        u"the operation completed." },
    { 12018, u"The type of handle supplied is incorrect for this operation." },
    { 12019,
        u"The requested operation cannot be carried out because the handle supplied is not in the correct state." },
    { 12020, u"The request cannot be made via a proxy." },
    { 12021, u"A required registry value could not be located." },
    { 12022, u"A required registry value was located but is an incorrect type or has an invalid value." },
    { 12023, u"Direct network access cannot be made at this time." },
    { 12024, u"An asynchronous request could not be made because a zero context value was supplied." },
    { 12025, u"An asynchronous request could not be made because a callback function has not been set." },
    { 12026, u"The required operation could not be completed because one or more requests are pending." },
    { 12027, u"The format of the request is invalid." },
    { 12028, u"The requested item could not be located." },
    { 12029, u"A connection with the server could not be established" },
    { 12030, u"The connection with the server was terminated abnormally" },
    { 12031, u"The connection with the server was reset" },
    { 12032, u"The request needs to be retried." },
    { 12033, u"The proxy request is not valid." },
    { 12034, u"A user interface or other blocking operation has been requested." },
    { 12036, u"The request failed because the handle already exists." },
    { 12037, u"The date in the certificate is invalid or has expired" },
    { 12038, u"The host name in the certificate is invalid or does not match" },
    { 12039, u"The connection was redirected from a secure to a non-secure address." },
    { 12040, u"The connection was redirected from a non-secure to a secure address." },
    { 12041, u"The content is not entirely secure." },
    { 12042, u"Data is being posted on a non-secure connection." },
    { 12043, u"Data is being posted on a non-secure connection." },
    { 12044, u"The server requests client authentication." },
    { 12045, u"The certificate authority is invalid or incorrect" },
    { 12046, u"Client authorization is not set up on this computer." },
    { 12047, u"The application could not start an asynchronous thread." },
    { 12048, u"The function was unable to carry out the redirect." },
    { 12049, u"Another thread has a password dialog box in progress." },
    { 12050, u"The dialog box should be retried." },
    { 12052, u"The data being submitted to an SSL connection is being redirected to a non-SSL connection." },
    { 12053, u"The request requires a CD-ROM to be inserted in the CD-ROM drive to locate the resource requested." },
    { 12054, u"The requested resource requires Fortezza authentication." },
    { 12055, u"The SSL certificate contains errors." },
    { 12056, u"The SSL certificate was not revoked." },
    { 12057, u"Revocation of the SSL certificate failed." },
    { 12110,
        u"The requested operation cannot be made on the FTP session handle because an operation is already in "
        u"progress." },
    { 12111, u"The FTP operation was not completed because the session was aborted." },
    { 12130, u"An error was detected while parsing data returned from the Gopher server." },
    { 12150, u"The requested header could not be located." },
    { 12151, u"The server did not return any headers." },
    { 12152, u"The server returned an invalid or unrecognized response" },
    { 12153, u"The supplied header is invalid." },
    { 12154, u"The request made to HttpQueryInfo is invalid." },
    { 12155, u"The header could not be added because it already exists." },
    { 12156, u"The redirection failed because either the scheme changed or all attempts made to redirect failed." },
    { 12157, u"An error occurred in the secure channel support" },
    { 12158, u"The file could not be written to the cache." },
    { 12159, u"The TCP/IP protocol is not installed properly." },
    { 12160, u"The HTTP request was not redirected." },
    { 12161, u"A cookie from the server must be confirmed by the user." },
    { 12162, u"A cookie from the server has been declined acceptance." },
    { 12163, u"The Internet connection has been lost." },
    { 12164, u"The Web site or server indicated is unreachable." },
    { 12165, u"The designated proxy server cannot be reached." },
    { 12166, u"There was an error in the automatic proxy configuration script." },
    { 12167, u"The automatic proxy configuration script could not be downloaded." },
    { 12168, u"The redirection requires user confirmation." },
    { 12169, u"The SSL certificate is invalid." },
    { 12170, u"The SSL certificate was revoked." },
    { 12171, u"The function failed due to a security check." },
    { 12172, u"Initialization of the WinINet API has not occurred." },
    { 12174, u"The login attempt failed." },
    { 12175, u"The server certificate could not be decoded or its chain could not be verified" },
};

template <size_t N> const char16_t* Find(const Entry (&table)[N], int code)
{
    for (const Entry& entry : table)
        if (entry.code == code)
            return entry.text;
    return nullptr;
}

} // namespace

const char16_t* SocketErrorText(int code)
{
    const char16_t* text = Find(kSocketErrors, code);
    return text ? text : u"Unknown error";
}

std::optional<QString> SystemErrorMessage(unsigned code)
{
    if (code <= 0x7FFFFFFF) {
        if (const char16_t* text = Find(kSystemErrors, static_cast<int>(code)))
            return QString::fromUtf16(text) + QStringLiteral("\r\n");
        if (const char16_t* text = Find(kSocketErrors, static_cast<int>(code)); text && code >= 10000)
            return QString::fromUtf16(text) + QStringLiteral("\r\n");
    }
    return std::nullopt;
}

std::optional<QString> ModuleErrorMessage(const QString& module, unsigned code)
{
    if (module.compare(QLatin1String("wininet.dll"), Qt::CaseInsensitive) != 0 || code > 0x7FFFFFFF)
        return std::nullopt;
    if (const char16_t* text = Find(kInternetErrors, static_cast<int>(code)))
        return QString::fromUtf16(text) + QStringLiteral("\r\n");
    return std::nullopt;
}

} // namespace taluvo
