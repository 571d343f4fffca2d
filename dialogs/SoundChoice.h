// What the two sound pages share: the file filter of their Browse and playing the chosen sound to
// the end.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

inline constexpr char16_t kSoundFileFilter[] = u"WAV files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0";

// Kind 0 plays the program's sound resource; any other kind plays the file at path, and nothing
// when the path is empty. Returns when the sound has ended.
void PlaySoundChoice(int kind, WORD resourceId, const QString& path);
