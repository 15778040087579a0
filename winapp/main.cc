// The program with its window for Windows: one file, nothing to install.
#include "winapp/unit1.h"
#include "winapp/window.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    winapp::TForm1 Form1;
    if (!Form1.handle())
        return 1;
    Form1.show();
    return winapp::runMessageLoop();
}
