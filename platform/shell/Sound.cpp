#include "platform/shell/Sound.h"

#include "platform/base/TextCodec.h"
#include "platform/shell/ShellHooks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <canberra.h>

#include <map>
#include <mutex>

namespace taluvo::shell {
namespace {

constexpr uint32_t kSoundId = 1;  // every alert sound shares one id: playing cancels the last

struct SoundSystem {
    std::mutex lock;
    ca_context* context = nullptr;
    bool failed = false;
    std::map<WORD, QString> resources;

    static SoundSystem& Instance()
    {
        static SoundSystem* system = new SoundSystem;  // used until the process ends
        return *system;
    }

    ca_context* Context()
    {
        if (!context && !failed && ca_context_create(&context) != CA_SUCCESS) {
            context = nullptr;
            failed = true;
        }
        return context;
    }
};

QString ResourceFile(const QString& path, WORD id)
{
    if (!path.startsWith(QLatin1Char(':')))
        return path;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const QString folder = runtime && *runtime ? AnsiDecode(runtime) : QDir::tempPath();
    const QString file = folder + QStringLiteral("/taluvo-sound-%1-%2.wav").arg(id).arg(QCoreApplication::applicationPid());
    if (!QFile::exists(file))
        QFile::copy(path, file);
    return file;
}

}  // namespace

void RegisterSoundResource(WORD id, const QString& path)
{
    SoundSystem& system = SoundSystem::Instance();
    std::lock_guard<std::mutex> guard(system.lock);
    system.resources[id] = path;
}

}  // namespace taluvo::shell

BOOL PlaySound(const QString& sound, HMODULE, DWORD flags)
{
    using namespace taluvo::shell;
    SoundSystem& system = SoundSystem::Instance();
    QString file;
    {
        std::lock_guard<std::mutex> guard(system.lock);
        if ((flags & SND_RESOURCE) == SND_RESOURCE) {
            bool ok = false;
            const auto it = system.resources.find(static_cast<WORD>(sound.toUInt(&ok)));
            if (!ok || it == system.resources.end())
                return FALSE;
            file = ResourceFile(it->second, it->first);
        } else {
            file = sound;
        }
    }
    if (file.isEmpty())
        return FALSE;
    if (OfferToHook({RequestKind::PlaySound, {file}}))
        return TRUE;
    std::lock_guard<std::mutex> guard(system.lock);
    ca_context* context = system.Context();
    if (!context)
        return FALSE;
    ca_context_cancel(context, kSoundId);
    const QByteArray path = taluvo::AnsiEncode(file);
    return ca_context_play(context, kSoundId, CA_PROP_MEDIA_FILENAME, path.constData(), CA_PROP_EVENT_DESCRIPTION,
                           "Taluvo alert", nullptr) == CA_SUCCESS
               ? TRUE
               : FALSE;
}
