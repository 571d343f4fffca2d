#include "dialogs/SoundChoice.h"

#include "platform/shell/Sound.h"

void PlaySoundChoice(int kind, WORD resourceId, const QString& path)
{
    if (kind == 0) {
        ::PlaySound(QString::number(resourceId), nullptr, SND_RESOURCE);
        return;
    }
    // Without SND_NODEFAULT: a file that cannot be played gives the desktop's default sound.
    if (!path.isEmpty())
        ::PlaySound(path, nullptr, SND_FILENAME);
}
