// Alert sounds in place of PlaySound: a WAV file, or a sound resource of the program registered
// by the resource tables, played through libcanberra (PulseAudio, PipeWire or ALSA). A new sound
// stops the one still playing. A missing sound device or file is not an error anyone hears about.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_NOWAIT = 0x00002000;
constexpr DWORD SND_PURGE = 0x0040;
constexpr DWORD SND_FILENAME = 0x00020000;
constexpr DWORD SND_RESOURCE = 0x00040004;

// sound: a file path with SND_FILENAME; with SND_RESOURCE, the decimal id of a registered sound
// resource ("242"). With SND_ASYNC the call returns at once; without it (SND_SYNC) it returns when
// the sound has ended, was replaced by a newer one, or could not play (no device: at once).
// Returns TRUE when the sound was handed to the sound system (or to the request hook).
BOOL PlaySound(const QString& sound, HMODULE module, DWORD flags);

namespace taluvo::shell {

// Registers a sound resource under its id: a file path or a Qt resource path (":/sounds/x.wav").
void RegisterSoundResource(WORD id, const QString& path);

// Where the sound system's own complaints go (a missing sound card, a device that cannot be
// opened), one line each, from whichever thread meets them. Until a sink is set they are
// debugger output; they never reach the terminal otherwise.
using SoundMessageSink = void (*)(const QString& message);
void SetSoundMessageSink(SoundMessageSink sink);

} // namespace taluvo::shell
