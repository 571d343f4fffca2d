// The ZIP format as the writer produces it: the fixed values, the entry record, the byte layout
// of local and central headers, data descriptors and the end record, and the conversions of
// names and times. Nothing here reads or writes a file; the writer (ZipWriter.cpp) feeds it.
#pragma once

#include "platform/base/WinTypes.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <initializer_list>

// Standard reflected CRC-32; a call without bytes leaves crc as it is.
DWORD Crc32Update(DWORD crc, const BYTE* bytes, size_t count);
// True for names ending in a suffix of an already compressed format (stored, not deflated).
bool HasCompressedSuffix(const char* name);
// Clamps a time to the calendar dates 1970-01-01 .. 2037-12-31, keeping the time of day.
int64_t FileTimeToUnixTime(int64_t t);
// DOS date (high half) and time (low half) of t in local time; times before 1980 give 1980-01-01.
DWORD UnixTimeToDosStamp(int64_t t);

struct SZipEntry {
    WORD versionMadeBy = 0;
    WORD versionNeeded = 0;
    WORD flags = 0;
    WORD method = 0;
    DWORD dosTime = 0;
    DWORD crc = 0;
    DWORD compressedSize = 0;
    DWORD uncompressedSize = 0;
    WORD commentLength = 0;
    WORD diskNumber = 0;
    WORD internalAttr = 0;
    WORD localFlags = 0;
    DWORD externalAttr = 0;
    DWORD localHeaderOffset = 0;
    QByteArray localExtra;
    QByteArray centralExtra;
    QByteArray name;
};

namespace taluvo::zip {

// Made on Unix (3), format version 2.3: the external attributes carry Unix modes, which readers
// keep only for archives made on Unix.
inline constexpr DWORD kVersionMadeBy = 0x0317;
inline constexpr WORD kVersionNeeded = 20;
inline constexpr WORD kFlagDataDescriptor = 8;
inline constexpr WORD kMethodStored = 0;
inline constexpr WORD kMethodDeflated = 8;
inline constexpr DWORD kAttrNotDiskFile = 0x80000000; // regular file, no permission bits
inline constexpr DWORD kAttrFolder = 0x41C00010; // directory, rwx for the owner, DOS directory bit
inline constexpr DWORD kLocalHeaderSize = 30;
inline constexpr DWORD kCentralHeaderSize = 46;
inline constexpr DWORD kEndRecordSize = 22;
inline constexpr DWORD kDataDescriptorSize = 16;
// Entry names beyond this many bytes count as a failed conversion.
inline constexpr qsizetype kMaxNameBytes = 518;
// Every byte of the archive must lie at an offset the 32-bit fields can name.
inline constexpr uint64_t kArchiveLimit = 0x100000000ULL;
inline constexpr uint64_t kMaxField = 0xFFFFFFFFULL;

// The extended time stamp extra field: the local header carries modification, access and
// creation time, the central header only the modification time; both say all three exist.
QByteArray TimeStampExtra(std::initializer_list<int64_t> times);

QByteArray LocalHeaderRecord(const SZipEntry& e);
QByteArray DataDescriptorRecord(const SZipEntry& e);
QByteArray CentralHeaderRecord(const SZipEntry& e);
QByteArray EndRecord(unsigned count, uint32_t directorySize, uint32_t directoryOffset);

} // namespace taluvo::zip
