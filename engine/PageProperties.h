// The texts the page properties dialog shows for one PAGES row, in the order of its fields.
#pragma once

#include <QString>

#include <cstdint>

class CSqlQuery;

struct SPagePropertiesTexts {
    QString url;
    QString descr;
    QString status; // for an error, the text of its error code
    QString httpCode;
    QString interval;
    QString lastChecked;
    QString lastModified;
    QString checkDue; // when the next check is due, or "Now"
    QString checkDueIn; // "... from now", or empty
    QString checkSum;
    QString startCheck;
    QString stopCheck;
};

// The texts of the current row at the time now (seconds since 1970). Times are the stored
// unsigned 32-bit values (4294967295: never) and the due time is computed in 64 bits, so it stays
// right past 2038. Database errors are thrown.
SPagePropertiesTexts PagePropertiesTexts(CSqlQuery& row, int64_t now);
