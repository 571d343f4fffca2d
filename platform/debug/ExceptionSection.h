// The first section of a crash report (start marker, exception, fault address, registers), built
// with async-signal-safe calls only: the signal handler writes it itself when no helper process
// is there, and the helper writes the same text before the call stack.
#pragma once

#include "platform/debug/CrashRecord.h"
#include "platform/debug/SafeText.h"

#include <sys/types.h>

namespace taluvo::debug {

// The name of an exception code: the table's name, the signal's description for a signal number,
// "C++ exception" for an exception that left std::terminate, else nothing.
void AppendExceptionName(uint32_t code, SafeText& text);

// Appends the section for the crash; pid is the process whose modules locate the fault address.
void FormatExceptionSection(const CrashRecord& record, pid_t pid, SafeText& text);

// The last line of every report.
inline constexpr char kReportEndMarker[] = "\r\n===== [end of crash report] =====\r\n";

} // namespace taluvo::debug
