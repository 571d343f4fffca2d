// SMTP client: sends a CSmtpMsg to one server over one connection. It never throws; every
// operation returns a result (0 success, a refusing reply code, -1 for no reply or a refused
// message, a WinSock error number, ERROR_TIMEOUT when the socket takes no data) and reports
// refusals through the virtual hooks.
#pragma once

#include "mail/SmtpMsg.h"
#include "platform/net/WinSock.h"

#include <QByteArray>
#include <QString>

class CSmtp {
public:
    CSmtp();
    virtual ~CSmtp();
    CSmtp(const CSmtp&) = delete;
    CSmtp& operator=(const CSmtp&) = delete;

    // A host name or dotted IPv4 address; TRUE once the server greeted with 220 and accepted
    // EHLO or HELO. Any earlier connection is ended first.
    BOOL Connect(const QString& server);
    // Sends QUIT when connected, then closes the socket; safe at any time.
    void Disconnect();
    int SendMessage(CSmtpMsg& message);
    // One text/plain body; attachments as NUL-separated paths ending with a double NUL.
    int SendMessage(const QString& from, const QString& to, const QString& subject, const QString& body,
        const char16_t* attachments = nullptr);
    // The same with address records; the paths of the array are attached from the last to the first.
    int SendMessage(const CSmtpMsgAddress& from, const CSmtpMsgAddress& to, const QString& subject, const QString& body,
        const QString* attachments = nullptr, int count = 0);

    const QString& GetLastResponse() const { return m_strLastResponse; }
    BOOL IsConnected() const { return m_bConnected; }
    BOOL IsEsmtp() const { return m_bEsmtp; }

    BOOL m_bUseEhlo = TRUE;
    int m_nConnectTimeout = 10; // seconds
    int m_nSendTimeout = 15;
    int m_nRecvTimeout = 15;
    uint16_t m_nPort; // network byte order
    QString m_strUser;
    QString m_strPassword;

protected:
    // Hooks. text is the last reply (all its lines, joined by CR LF); command is the line as sent,
    // null for the greeting. A TRUE result of OnWarning after a refused AUTH LOGIN answer (535)
    // starts the login again; FALSE from OnSendProgress aborts the command being sent.
    virtual BOOL OnWarning(int code, const QString& text);
    virtual BOOL OnError(int code, const QString& text);
    virtual void OnCommandResponse(const QString& command, int code, const QString& reply);
    virtual BOOL OnSendProgress(const char* bytes, DWORD sent, DWORD total);

    int SendCommand(const QString& command);
    int SendHello();
    int SendAuthLogin();
    // With eightBit the message holds 8bit parts, announced as BODY=8BITMIME.
    int SendMailFrom(const QString& address, bool eightBit = false);
    int SendRcptTo(const QString& address);
    int SendData(const QString& rendered);
    int SendQuit();
    void RaiseError(int code);
    BOOL RaiseWarning(int code);

private:
    int SendBytes(const QByteArray& bytes);
    int ReadReply(const QString& command);
    DWORD Milliseconds(int seconds) const;

    HANDLE m_hEvent = nullptr;
    SOCKET m_hSocket = INVALID_SOCKET;
    QString m_strLastResponse;
    BOOL m_bConnected = FALSE;
    BOOL m_bEsmtp = FALSE;
    // The server's EHLO reply offered 8BITMIME.
    bool m_b8BitMime = false;
    // Bytes received after the end of the last reply: the start of the next one.
    QByteArray m_pending;
    // The dialogue lost its footing (no reply in time, connection closed or failed): a late
    // reply would be taken for the answer to the next command, so nothing more is sent.
    bool m_bBroken = false;
};
