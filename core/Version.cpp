#include "core/Version.h"

namespace taluvo {

ProgramVersion GetProgramVersion()
{
    return { TALUVO_VERSION_MAJOR, TALUVO_VERSION_MINOR };
}

} // namespace taluvo
