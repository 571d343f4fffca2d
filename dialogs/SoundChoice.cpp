#include "dialogs/SoundChoice.h"

#include "platform/shell/Sound.h"
#include "platform/ui/FileDialogs.h"

QString BrowseForSoundFile()
{
    CFileDialog dlg(TRUE, u"wav", nullptr, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT,
        u"WAV files (*.wav)\0*.wav\0All Files (*.*)\0*.*\0");
    if (dlg.DoModal(::GetActiveWindow()) != IDOK)
        return QString();
    return dlg.m_szFileName;
}

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
