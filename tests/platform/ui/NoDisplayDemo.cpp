// A program started without a display that shows a message box: the box goes to stderr, the
// default button is the answer, and the program goes on.
#include "platform/ui/Application.h"
#include "platform/ui/UserApi.h"

#include <cstdio>

int main(int argc, char** argv)
{
    taluvo::ui::CUiApplication app(argc, argv);
    const int answer = MessageBox(nullptr, QStringLiteral("Other instance of application already running."),
        QStringLiteral("Warning"), MB_OK | MB_ICONINFORMATION);
    const int second = MessageBox(nullptr, QStringLiteral("Delete the group?"), QStringLiteral("Confirmation."),
        MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
    std::printf("answers %d %d\n", answer, second);
    return answer == IDOK && second == IDNO ? 0 : 1;
}
