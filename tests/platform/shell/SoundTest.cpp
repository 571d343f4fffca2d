#include "platform/shell/ShellHooks.h"
#include "platform/shell/Sound.h"

#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

#include <QFile>

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

}  // namespace

TEST(Sound, FilesAndRegisteredResourcesReachTheSoundSystem)
{
    taluvo::test::TempDir dir;
    const std::string wav = dir.File("alert.wav");
    taluvo::test::WriteFile(wav, SilentWav());
    RegisterSoundResource(242, QString::fromStdString(wav));
    Recorder recorder;
    EXPECT_TRUE(PlaySound(QString::fromStdString(wav), nullptr, SND_FILENAME | SND_ASYNC | SND_NOWAIT | SND_PURGE));
    EXPECT_TRUE(PlaySound(QStringLiteral("242"), nullptr, SND_RESOURCE | SND_ASYNC));
    EXPECT_FALSE(PlaySound(QStringLiteral("243"), nullptr, SND_RESOURCE | SND_ASYNC));  // not registered
    EXPECT_FALSE(PlaySound(QString(), nullptr, SND_FILENAME));
    ASSERT_EQ(recorder.requests.size(), 2u);
    EXPECT_EQ(recorder.requests[0], QStringList{QString::fromStdString(wav)});
    EXPECT_EQ(recorder.requests[1], QStringList{QString::fromStdString(wav)});
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
    taluvo::test::WriteFile(dir.File("asound.conf"), "pcm.!default { type file slave.pcm \"null\" file \"" + played
                                                         + "\" format \"raw\" }\npcm.null { type null }\n");
    setenv("ALSA_CONFIG_PATH", dir.File("asound.conf").c_str(), 1);
    const uint32_t samples = 16000;  // two seconds at 8 kHz
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
