// An SMTP client that writes its whole dialogue, time-stamped, into an edit control (commands,
// replies, warnings and errors) and shows the progress of long sends in a static control.
#pragma once

#include "mail/Smtp.h"
#include "platform/ui/Controls.h"

#include <QString>

class CTraceSmtp : public CSmtp {
public:
    CTraceSmtp(HWND output, HWND progress);
    ~CTraceSmtp() override;

    // "[hh:mm:ss]" of the local time now, or "[Invalid time]".
    static QString TimeStamp();
    // The text as one or more whole lines at the end of the edit: line ends made CR LF, a final
    // CR LF added, leading blanks and line ends and trailing blanks dropped; nothing for an empty
    // text.
    void AppendOutput(const QString& text);

protected:
    BOOL OnWarning(int code, const QString& text) override;
    BOOL OnError(int code, const QString& text) override;
    void OnCommandResponse(const QString& command, int code, const QString& reply) override;
    BOOL OnSendProgress(const char* bytes, DWORD sent, DWORD total) override;

private:
    HWND m_hOutput;
    HWND m_hProgress;
    CEdit m_output;
    CStatic m_progress;
};
