// The program's version as the build gives it (the project's version in the top CMakeLists.txt).
#pragma once

namespace taluvo {

struct ProgramVersion {
    int major;
    int minor;
};

ProgramVersion GetProgramVersion();

} // namespace taluvo
