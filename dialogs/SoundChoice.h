// What the two sound pages share: picking a WAV file and playing the chosen sound to the end.
#pragma once

#include "platform/base/WinTypes.h"

#include <QString>

// The open-file dialog for a WAV file; the full path of the file picked, or a null string when the
// user cancelled.
QString BrowseForSoundFile();

// Kind 0 plays the program's sound resource; any other kind plays the file at path, and nothing
// when the path is empty. Returns when the sound has ended.
void PlaySoundChoice(int kind, WORD resourceId, const QString& path);
