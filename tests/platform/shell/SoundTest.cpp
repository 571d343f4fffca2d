#include "platform/shell/Sound.h"
#include "platform/shell/ShellHooks.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace taluvo::shell;

namespace {

// A short silent 8 kHz mono WAV file.
std::string SilentWav(uint32_t samples = 800)
{
    std::string wav = "RIFF";
    auto put32 = [&](uint32_t v) { wav.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&](uint16_t v) { wav.append(reinterpret_cast<const char*>(&v), 2); };
    put32(36 + samples);
    wav += "WAVEfmt ";
    put32(16);
    put16(1);
    put16(1);
    put32(8000);
    put32(8000);
    put16(1);
    put16(8);
    wav += "data";
    put32(samples);
    wav.append(samples, '\x80');
    return wav;
}

struct Recorder {
    std::vector<QStringList> requests;
    RequestHook previous;
    Recorder()
    {
        previous = SetRequestHook([this](const Request& r) {
            if (r.kind != RequestKind::PlaySound)
                return false;
            requests.push_back(r.arguments);
            return true;
        });
    }
    ~Recorder() { SetRequestHook(previous); }
};

} // namespace

TEST(Sound, FilesAndRegisteredResourcesReachTheSoundSystem)
{
    taluvo::test::TempDir dir;
    const std::string wav = dir.File("alert.wav");
    taluvo::test::WriteFile(wav, SilentWav());
    RegisterSoundResource(242, QString::fromStdString(wav));
    Recorder recorder;
    EXPECT_TRUE(PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_ASYNC | SND_NOWAIT | SND_PURGE));
    EXPECT_TRUE(PlaySound(QStringLiteral("242"), nullptr, SND_RESOURCE | SND_ASYNC));
    EXPECT_FALSE(PlaySound(QStringLiteral("243"), nullptr, SND_RESOURCE | SND_ASYNC)); // not registered
    EXPECT_FALSE(PlaySound(QString(), nullptr, SND_FILENAME));
    ASSERT_EQ(recorder.requests.size(), 2u);
    EXPECT_EQ(recorder.requests[0], QStringList { QString::fromStdString(wav) });
    EXPECT_EQ(recorder.requests[1], QStringList { QString::fromStdString(wav) });
}

TEST(Sound, WithoutADeviceNothingBreaks)
{
    taluvo::test::TempDir dir;
    const std::string wav = dir.File("alert.wav");
    taluvo::test::WriteFile(wav, SilentWav());
    // Whatever the machine has (often no sound server at all), playing returns and never hangs;
    // a second sound replaces the first. A file that does not exist is never reported as played,
    // with or without a sound server.
    PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_ASYNC);
    PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_ASYNC);
    EXPECT_FALSE(PlaySound(QString::fromStdString(dir.File("missing.wav")), nullptr, SND_FILENAME | SND_ASYNC));
}

TEST(Sound, SynchronousSoundReturnsOnlyWhenItHasBeenPlayed)
{
    // An ALSA device that writes what it plays into a file stands in for a sound card: when the
    // synchronous call returns, every sample must be in the file.
    taluvo::test::TempDir dir;
    const std::string played = dir.File("played.raw");
    taluvo::test::WriteFile(dir.File("asound.conf"),
        "pcm.!default { type file slave.pcm \"null\" file \"" + played
            + "\" format \"raw\" }\npcm.null { type null }\n");
    setenv("ALSA_CONFIG_PATH", dir.File("asound.conf").c_str(), 1);
    const uint32_t samples = 16000; // two seconds at 8 kHz
    const std::string wav = dir.File("long.wav");
    taluvo::test::WriteFile(wav, SilentWav(samples));
    ASSERT_TRUE(PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_SYNC));
    EXPECT_EQ(taluvo::test::ReadFile(played).size(), samples);
}

TEST(Sound, SynchronousSoundWithoutADeviceEndsAtOnce)
{
    taluvo::test::TempDir dir;
    taluvo::test::WriteFile(dir.File("asound.conf"), "# no devices at all\n");
    setenv("ALSA_CONFIG_PATH", dir.File("asound.conf").c_str(), 1);
    const std::string wav = dir.File("alert.wav");
    taluvo::test::WriteFile(wav, SilentWav());
    // Returns (the test's time-out would catch a hang) and says the sound did not play.
    EXPECT_FALSE(PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_SYNC));
    EXPECT_FALSE(PlaySound(QString::fromStdString(dir.File("missing.wav")), nullptr, SND_FILENAME | SND_SYNC));
}

namespace {

// This process's standard error goes into a file while the object lives.
class StandardErrorToFile {
public:
    explicit StandardErrorToFile(const std::string& path)
        : m_saved(dup(STDERR_FILENO))
    {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~StandardErrorToFile()
    {
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
    }
    StandardErrorToFile(const StandardErrorToFile&) = delete;
    StandardErrorToFile& operator=(const StandardErrorToFile&) = delete;

private:
    int m_saved;
};

QStringList g_soundMessages;

void KeepSoundMessage(const QString& message)
{
    g_soundMessages.append(message);
}

// The byte count of the samples of a WAV file (its "data" chunk).
uint32_t WavDataBytes(const QByteArray& wav)
{
    const qsizetype at = wav.indexOf("data");
    uint32_t size = 0;
    if (at >= 0 && at + 8 <= wav.size())
        std::memcpy(&size, wav.constData() + at + 4, 4);
    return size;
}

} // namespace

TEST(Sound, TheSoundLibrarysComplaintsGoToTheSinkAndNothingIsLeftBehind)
{
    // A machine whose sound card is gone: the library complains at every sound it cannot play.
    taluvo::test::TempDir dir;
    taluvo::test::TempDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    setenv("TMPDIR", runtime.Path().c_str(), 1);
    taluvo::test::WriteFile(dir.File("asound.conf"), "pcm.!default { type hw card \"gone\" }\n");
    setenv("ALSA_CONFIG_PATH", dir.File("asound.conf").c_str(), 1);
    const std::string wav = dir.File("alert.wav");
    taluvo::test::WriteFile(wav, SilentWav());
    RegisterSoundResource(242, QStringLiteral(":/test/sounds/wave242.wav"));
    g_soundMessages.clear();
    SetSoundMessageSink(&KeepSoundMessage);
    {
        StandardErrorToFile quiet(dir.File("stderr.txt"));
        EXPECT_FALSE(PlaySound(QStringLiteral("242"), nullptr, SND_RESOURCE | SND_SYNC));
        EXPECT_FALSE(PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_SYNC));
        PlaySound(QStringLiteral("242"), nullptr, SND_RESOURCE | SND_ASYNC | SND_NOWAIT | SND_PURGE);
    }
    SetSoundMessageSink(nullptr);
    EXPECT_EQ(taluvo::test::ReadFile(dir.File("stderr.txt")), "");
    EXPECT_TRUE(g_soundMessages.join(QLatin1Char('\n')).contains(QStringLiteral("ALSA lib")))
        << g_soundMessages.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(QDir(QString::fromStdString(runtime.Path()))
                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
        QStringList());
}

TEST(Sound, AResourceOfTheProgramIsPlayedWhole)
{
    // The resource reaches the sound system from memory; a file device stands in for the card.
    taluvo::test::TempDir dir;
    taluvo::test::TempDir runtime;
    setenv("XDG_RUNTIME_DIR", runtime.Path().c_str(), 1);
    const std::string played = dir.File("played.raw");
    taluvo::test::WriteFile(dir.File("asound.conf"),
        "pcm.!default { type file slave.pcm \"null\" file \"" + played
            + "\" format \"raw\" }\npcm.null { type null }\n");
    setenv("ALSA_CONFIG_PATH", dir.File("asound.conf").c_str(), 1);
    QFile resource(QStringLiteral(":/test/sounds/wave242.wav"));
    ASSERT_TRUE(resource.open(QIODevice::ReadOnly));
    const uint32_t samples = WavDataBytes(resource.readAll());
    ASSERT_GT(samples, 0u);
    RegisterSoundResource(242, QStringLiteral(":/test/sounds/wave242.wav"));
    ASSERT_TRUE(PlaySound(QStringLiteral("242"), nullptr, SND_RESOURCE | SND_SYNC));
    EXPECT_EQ(taluvo::test::ReadFile(played).size(), samples);
    EXPECT_EQ(
        QDir(QString::fromStdString(runtime.Path())).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());
}
