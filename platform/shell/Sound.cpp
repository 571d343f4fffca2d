#include "platform/shell/Sound.h"

#include "platform/base/DebugOutput.h"
#include "platform/base/FileWrite.h"
#include "platform/base/Format.h"
#include "platform/base/TextCodec.h"
#include "platform/shell/ShellHooks.h"

#include <QFile>

#include <alsa/asoundlib.h>
#include <canberra.h>

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>

#include <sys/mman.h>
#include <unistd.h>

namespace taluvo::shell {
namespace {

constexpr uint32_t kSoundId = 1; // every alert sound shares one id: playing cancels the last

std::atomic<SoundMessageSink> g_messageSink { nullptr };

void SayMessage(const QString& message)
{
    if (SoundMessageSink sink = g_messageSink.load())
        sink(message);
    else
        taluvo::OutputDebugText(message + QLatin1Char('\n'));
}

// The sound library's ALSA backend reports a missing card or device through ALSA's error
// handler, whose default prints to standard error: a start without a sound card would fill the
// user's terminal with lines about it at every alert.
void AlsaMessage(const char* file, int line, const char* function, int error, const char* format, ...)
{
    char text[1024];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    QString message
        = taluvo::Format(u"ALSA lib %hs:%d:(%hs) %hs", file ? file : "", line, function ? function : "", text);
    if (error)
        message += taluvo::Format(u": %hs", snd_strerror(error));
    SayMessage(message);
}

// A sound resource of the program. Those inside the program's own resources are given to the
// sound system as a memory file of this process (named through /proc/self/fd), because it reads
// only files: nothing is left behind in any folder, however the process ends.
struct SoundResource {
    QString path;
    int memoryFile = -1;
};

struct SoundSystem {
    std::mutex lock;
    ca_context* context = nullptr;
    bool failed = false;
    std::map<WORD, SoundResource> resources;

    SoundSystem() { snd_lib_error_set_handler(&AlsaMessage); }

    static SoundSystem& Instance()
    {
        static SoundSystem* system = new SoundSystem; // used until the process ends
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

// The path the sound system reads a resource from; empty when it cannot be had.
QString ResourceFile(SoundResource& resource, WORD id)
{
    if (!resource.path.startsWith(QLatin1Char(':')))
        return resource.path;
    if (resource.memoryFile < 0) {
        QFile source(resource.path);
        if (!source.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray bytes = source.readAll();
        const int fd
            = memfd_create(taluvo::AnsiEncode(QStringLiteral("taluvo-sound-%1").arg(id)).constData(), MFD_CLOEXEC);
        if (fd < 0)
            return QString();
        if (!taluvo::WriteAll(fd, bytes.constData(), static_cast<size_t>(bytes.size()))) {
            close(fd);
            return QString();
        }
        resource.memoryFile = fd;
    }
    return QStringLiteral("/proc/self/fd/%1").arg(resource.memoryFile);
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
        delete handedOver; // the callback only runs for a sound that started
        end.reset();
    }
    return result;
}

} // namespace

void RegisterSoundResource(WORD id, const QString& path)
{
    SoundSystem& system = SoundSystem::Instance();
    std::lock_guard<std::mutex> guard(system.lock);
    SoundResource& resource = system.resources[id];
    if (resource.memoryFile >= 0)
        close(resource.memoryFile);
    resource = SoundResource { path };
}

void SetSoundMessageSink(SoundMessageSink sink)
{
    SoundSystem::Instance(); // the sound library's own handler is replaced from now on
    g_messageSink = sink;
}

} // namespace taluvo::shell

BOOL PlaySound(const QString& sound, HMODULE, DWORD flags)
{
    using namespace taluvo::shell;
    SoundSystem& system = SoundSystem::Instance();
    // The sound asked for: a file, or a resource by the path it was registered with.
    const bool resource = (flags & SND_RESOURCE) == SND_RESOURCE;
    bool ok = !resource;
    const WORD id = resource ? static_cast<WORD>(sound.toUInt(&ok)) : 0;
    QString asked = sound;
    if (resource) {
        std::lock_guard<std::mutex> guard(system.lock);
        const auto it = system.resources.find(id);
        if (!ok || it == system.resources.end())
            return FALSE;
        asked = it->second.path;
    }
    if (asked.isEmpty())
        return FALSE;
    if (OfferToHook({ RequestKind::PlaySound, { asked } }))
        return TRUE;
    QString file = asked;
    if (resource) {
        std::lock_guard<std::mutex> guard(system.lock);
        const auto it = system.resources.find(id);
        file = it == system.resources.end() ? QString() : ResourceFile(it->second, id);
        if (file.isEmpty())
            return FALSE;
    }
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
