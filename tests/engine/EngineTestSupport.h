// A notify window and a page server for the engine's tests.
#pragma once

#include "core/DebugTracer.h"
#include "engine/Updater.h"
#include "platform/base/KernelObjects.h"
#include "platform/ui/AtlWin.h"
#include "tests/support/TestEnvironment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace taluvo::test {

inline const std::string kServerScript = std::string(TALUVO_SOURCE_DIR) + "/tests/engine/page_server.py";

// Records the notices of a fetch; the finished notice sets an event the test waits on.
class CNotifyWindow : public CWindowImpl<CNotifyWindow> {
public:
    std::vector<LPARAM> notices;
    std::function<void(SPageCtx*)> onFinished; // runs inside the finished notice, as the main window's does
    std::function<void()> onReading; // runs inside each reading notice
    HANDLE finished = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    HANDLE connected = CreateEvent(nullptr, TRUE, FALSE, nullptr);

    ~CNotifyWindow()
    {
        if (IsWindow())
            DestroyWindow();
        CloseHandle(finished);
        CloseHandle(connected);
    }

    BEGIN_MSG_MAP(CNotifyWindow)
    MESSAGE_HANDLER(WM_UPDATER_NOTIFY, OnNotify)
    END_MSG_MAP()

    LRESULT OnNotify(UINT, WPARAM wParam, LPARAM lParam, BOOL&)
    {
        notices.push_back(lParam);
        if (LOWORD(lParam) == stateFinished) {
            if (onFinished)
                onFinished(reinterpret_cast<SPageCtx*>(wParam));
            SetEvent(finished);
        }
        if (LOWORD(lParam) == stateConnected)
            SetEvent(connected);
        if (LOWORD(lParam) == stateReadingData && onReading)
            onReading();
        return 0;
    }

    std::vector<WORD> States() const
    {
        std::vector<WORD> states;
        for (LPARAM n : notices)
            if (states.empty() || states.back() != LOWORD(n))
                states.push_back(LOWORD(n));
        return states;
    }
};

// One page server process (plain or TLS) with its routes file and request log.
class PageServer {
public:
    explicit PageServer(const TempDir& dir, const std::string& name, bool tls = false)
        : m_routes(dir.File(name + "-routes.json"))
        , m_log(dir.File(name + "-log.jsonl"))
    {
        WriteFile(m_routes, "{}");
        WriteFile(m_log, "");
        std::vector<std::string> argv
            = { "/usr/bin/python3", kServerScript, m_routes, m_log, dir.File(name + ".port") };
        if (tls) {
            const std::string cert = dir.File(name + "-cert.pem"), key = dir.File(name + "-key.pem");
            const std::string command = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 "
                                        "-addext subjectAltName=IP:127.0.0.1 -keyout "
                + key + " -out " + cert + " >/dev/null 2>&1";
            if (std::system(command.c_str()) != 0)
                throw std::runtime_error("openssl failed");
            argv.insert(argv.end(), { "--tls", cert, key });
            m_cert = cert;
        }
        m_process = std::make_unique<ChildProcess>(argv);
        m_port = std::stoi(WaitForFileText(dir.File(name + ".port")));
    }

    void SetRoutes(const QJsonObject& routes) { WriteFile(m_routes, QJsonDocument(routes).toJson().toStdString()); }
    QString Url(const QString& path, bool tls = false) const
    {
        return QStringLiteral("%1://127.0.0.1:%2%3").arg(tls ? u"https" : u"http").arg(m_port).arg(path);
    }
    int Port() const { return m_port; }
    const std::string& Cert() const { return m_cert; }
    // The logged requests, one JSON object each.
    std::vector<QJsonObject> Requests() const
    {
        std::vector<QJsonObject> requests;
        for (const QString& line : QString::fromStdString(ReadFile(m_log)).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            requests.push_back(QJsonDocument::fromJson(line.toUtf8()).object());
        return requests;
    }

private:
    std::string m_routes, m_log, m_cert;
    std::unique_ptr<ChildProcess> m_process;
    int m_port = 0;
};

// Sends the trace lines to a file of the test while it lives. The INI file beside the executable
// switches the modules on; when it does not name `module`, the checks are skipped.
class CTraceCapture {
public:
    CTraceCapture(const TempDir& dir, const std::string& module)
        : m_path(dir.File("trace.log"))
    {
        CDebugTracer* tracer = CDbgTracer::Instance();
        m_bEnabled = ReadFile(tracer->IniPath().toStdString()).find(module) != std::string::npos;
        WriteFile(m_path, "");
        tracer->SetLogFile(QString::fromStdString(m_path));
        tracer->SetOutput(FALSE, FALSE);
    }
    ~CTraceCapture() { CDbgTracer::Instance()->SetOutput(TRUE, FALSE); }
    CTraceCapture(const CTraceCapture&) = delete;
    CTraceCapture& operator=(const CTraceCapture&) = delete;

    void Expect(const std::string& text) const
    {
        if (!m_bEnabled)
            return;
        const std::string lines = ReadFile(m_path);
        EXPECT_NE(lines.find(text), std::string::npos) << "missing trace text: " << text;
    }
    size_t Count(const std::string& text) const
    {
        const std::string lines = ReadFile(m_path);
        size_t n = 0;
        for (size_t at = lines.find(text); at != std::string::npos; at = lines.find(text, at + 1))
            ++n;
        return n;
    }
    bool Enabled() const { return m_bEnabled; }

private:
    std::string m_path;
    bool m_bEnabled = false;
};

inline QJsonObject Page(const QString& body, int status = 200)
{
    return QJsonObject { { QStringLiteral("status"), status }, { QStringLiteral("body"), body } };
}

} // namespace taluvo::test
