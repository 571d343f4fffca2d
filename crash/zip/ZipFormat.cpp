#include "crash/zip/ZipFormat.h"

#include "core/Crc32.h"

#include <cstring>
#include <ctime>

namespace {

// Little-endian record builder.
class CRecord {
public:
    void U16(unsigned v)
    {
        m_bytes.push_back(static_cast<char>(v & 0xFF));
        m_bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
    void U32(uint32_t v)
    {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Bytes(const QByteArray& b) { m_bytes.append(b); }
    const QByteArray& Data() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// Seconds of the day of t, for any t (also before 1970).
int64_t SecondsOfDay(int64_t t)
{
    return ((t % 86400) + 86400) % 86400;
}

// Byte-wise, ASCII letters only: entry names are bytes in any encoding.
bool EqualsIgnoringAsciiCase(const char* a, const char* b)
{
    auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); };
    for (; *a && *b; ++a, ++b)
        if (lower(static_cast<unsigned char>(*a)) != lower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

} // namespace

DWORD Crc32Update(DWORD crc, const BYTE* bytes, size_t count)
{
    return CCrc32::Continue(crc, bytes, count);
}

bool HasCompressedSuffix(const char* name)
{
    if (!name)
        return false;
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    static const char* const kSuffixes[] = { ".Z", ".zip", ".zoo", ".arc", ".lzh", ".arj", ".gz", ".tgz" };
    for (const char* suffix : kSuffixes) {
        if (EqualsIgnoringAsciiCase(dot, suffix))
            return true;
    }
    return false;
}

int64_t FileTimeToUnixTime(int64_t t)
{
    const time_t tt = static_cast<time_t>(t);
    struct tm utc { };
    if (!gmtime_r(&tt, &utc))
        return t < 0 ? SecondsOfDay(t) : 24836LL * 86400 + SecondsOfDay(t);
    const int year = utc.tm_year + 1900;
    if (year < 1970)
        return SecondsOfDay(t);
    if (year > 2037)
        return 24836LL * 86400 + SecondsOfDay(t); // day 24836 is 2037-12-31
    return t;
}

DWORD UnixTimeToDosStamp(int64_t t)
{
    const time_t tt = static_cast<time_t>(t);
    struct tm local { };
    if (!localtime_r(&tt, &local) || local.tm_year + 1900 < 1980)
        return DWORD(0x0021) << 16; // 1980-01-01 00:00:00, the earliest DOS date
    if (local.tm_year + 1900 > 2107)
        return (DWORD((127 << 9) | (12 << 5) | 31) << 16) | ((23 << 11) | (59 << 5) | 29);
    const DWORD date = DWORD(((local.tm_year + 1900 - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    const DWORD time = DWORD((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    return (date << 16) | time;
}

namespace taluvo::zip {

// The extended time stamp: the local header carries modification, access and creation time,
// the central header only the modification time; both say all three exist (flags 7).
QByteArray TimeStampExtra(std::initializer_list<int64_t> times)
{
    CRecord r;
    r.U16(0x5455); // "UT"
    r.U16(static_cast<unsigned>(1 + 4 * times.size()));
    QByteArray b = r.Data();
    b.append(char(7));
    CRecord t;
    for (int64_t v : times)
        t.U32(static_cast<uint32_t>(v));
    b.append(t.Data());
    return b;
}

namespace {

// The run of fields that local and central headers share, from version needed to the
// extra field's length.
void PutSharedFields(CRecord& r, const SZipEntry& e, const QByteArray& extra)
{
    r.U16(e.versionNeeded);
    r.U16(e.flags);
    r.U16(e.method);
    r.U32(e.dosTime);
    r.U32(e.crc);
    r.U32(e.compressedSize);
    r.U32(e.uncompressedSize);
    r.U16(static_cast<unsigned>(e.name.size()));
    r.U16(static_cast<unsigned>(extra.size()));
}

} // namespace

QByteArray LocalHeaderRecord(const SZipEntry& e)
{
    CRecord r;
    r.U32(0x04034B50);
    PutSharedFields(r, e, e.localExtra);
    r.Bytes(e.name);
    r.Bytes(e.localExtra);
    return r.Data();
}

QByteArray DataDescriptorRecord(const SZipEntry& e)
{
    CRecord r;
    r.U32(0x08074B50);
    r.U32(e.crc);
    r.U32(e.compressedSize);
    r.U32(e.uncompressedSize);
    return r.Data();
}

QByteArray CentralHeaderRecord(const SZipEntry& e)
{
    CRecord r;
    r.U32(0x02014B50);
    r.U16(e.versionMadeBy);
    PutSharedFields(r, e, e.centralExtra);
    r.U16(e.commentLength);
    r.U16(e.diskNumber);
    r.U16(e.internalAttr);
    r.U32(e.externalAttr);
    r.U32(e.localHeaderOffset);
    r.Bytes(e.name);
    r.Bytes(e.centralExtra);
    return r.Data();
}

QByteArray EndRecord(unsigned count, uint32_t directorySize, uint32_t directoryOffset)
{
    CRecord r;
    r.U32(0x06054B50);
    r.U16(0); // this disk
    r.U16(0); // disk of the central directory
    r.U16(count);
    r.U16(count);
    r.U32(directorySize);
    r.U32(directoryOffset);
    r.U16(0); // comment length
    return r.Data();
}

} // namespace taluvo::zip
