#include "platform/shell/Sound.h"

#include "platform/base/TextCodec.h"
#include "platform/shell/ShellHooks.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <canberra.h>

#include <condition_variable>
#include <map>
#include <memory>
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

// The end of one synchronous sound, signalled from the sound system's own thread (finished,
// cancelled by a newer sound, or failed).
struct SoundEnd {
    std::mutex lock;
    std::condition_variable changed;
    bool ended = false;

    static void Finished(ca_context*, uint32_t, int, void* userdata)
    {
        // The waiter holds a reference of its own; this one was handed over at the start.
        std::unique_ptr<std::shared_ptr<SoundEnd>> self(static_cast<std::shared_ptr<SoundEnd>*>(userdata));
        std::lock_guard<std::mutex> guard((*self)->lock);
        (*self)->ended = true;
        (*self)->changed.notify_all();
    }

    void Wait()
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return ended; });
    }
};

int Play(ca_context* context, const QByteArray& path, bool wait, std::shared_ptr<SoundEnd>& end)
{
    if (!wait)
        return ca_context_play(context, kSoundId, CA_PROP_MEDIA_FILENAME, path.constData(), CA_PROP_EVENT_DESCRIPTION,
                               "Taluvo alert", nullptr);
    ca_proplist* properties = nullptr;
    if (ca_proplist_create(&properties) != CA_SUCCESS)
        return CA_ERROR_OOM;
    ca_proplist_sets(properties, CA_PROP_MEDIA_FILENAME, path.constData());
    ca_proplist_sets(properties, CA_PROP_EVENT_DESCRIPTION, "Taluvo alert");
    end = std::make_shared<SoundEnd>();
    auto* handedOver = new std::shared_ptr<SoundEnd>(end);
    const int result = ca_context_play_full(context, kSoundId, properties, &SoundEnd::Finished, handedOver);
    ca_proplist_destroy(properties);
    if (result != CA_SUCCESS) {
        delete handedOver;  // the callback only runs for a sound that started
        end.reset();
    }
    return result;
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
    // Without SND_ASYNC the caller waits until the sound has ended; the lock is not held meanwhile,
    // so a newer sound can still cancel this one (which ends the wait too).
    const bool wait = (flags & SND_ASYNC) == 0;
    std::shared_ptr<SoundEnd> end;
    {
        std::lock_guard<std::mutex> guard(system.lock);
        ca_context* context = system.Context();
        if (!context)
            return FALSE;
        ca_context_cancel(context, kSoundId);
        if (Play(context, taluvo::AnsiEncode(file), wait, end) != CA_SUCCESS)
            return FALSE;
    }
    if (end)
        end->Wait();
    return TRUE;
}
