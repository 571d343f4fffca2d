// What a page that became "New" raises, in the pieces that need no window: the popup's rows, the
// user's command and the e-mail notice.
#pragma once

#include "platform/base/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <utility>
#include <vector>

class CPreferences;

// Text for the popup's and tooltips' HTML: & < > " escaped, so a page or a user can neither break
// the markup nor add a link of their own.
QString HtmlEscape(const QString& text);

// One row of the update popup: the program's icon and a link whose message carries the group id,
// the page id and the browser address; its text is the fetched address.
QString BuildPopupRow(WORD nGroupId, WORD nPageId, const QString& urlBrowser, const QString& url);

// Adds a row to the popup's rows: a hidden popup starts again from nothing; a full one drops its
// oldest row first. False (nothing changed but a drop) when the page is listed already.
bool AddPopupRow(QString& lines, const QString& row, bool popupVisible, int maxItems);
int CountPopupRows(const QString& lines);

// What the e-mail notice needs of the settings store, taken at once so it can be sent later on
// another thread.
struct SMailAlertSettings {
    QString server;
    QString fromAddress;
    int connectTimeout = 30;
    int sendTimeout = 15;
    int recvTimeout = 15;
    uint16_t port = 25;
    std::vector<std::pair<QByteArray, QByteArray>> recipients; // address and name, ANSI
};
SMailAlertSettings ReadMailAlertSettings(CPreferences& prefs);

// The e-mail notice of an updated page to the recipients, sent at once on this thread (bounded
// by the time-out settings). Returns the client's result: 0 sent; -1 when there is no recipient
// or server, or the connection failed.
int SendUpdateMail(const SMailAlertSettings& settings, const QString& url);
int SendUpdateMail(CPreferences& prefs, const QString& url);
