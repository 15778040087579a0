#include "app/application.h"
#include "app/unit1.h"

#include <QStyleFactory>

#include <cstdio>
#include <cstring>

namespace {

const char* kUsage = "usage: gridshift [--help | --version]\n"
                     "gridshift " GRIDSHIFT_VERSION ": the window that moves the advertising blocks of a\n"
                     "radio station's grid to another minute; gridshift-cli does the same from the\n"
                     "command line.\n"
                     "  -h, --help    print this text\n"
                     "  --version     print the version\n"
                     "Qt's own options, such as -platform NAME, are understood as well.\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before the application object, which needs a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs("gridshift " GRIDSHIFT_VERSION "\n", stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    app::Application application(argc, argv);
    // Qt has taken its own options out; the window takes no others.
    if (argc > 1) {
        std::fprintf(stderr, "gridshift: unknown argument '%s'\n%s", argv[1], kUsage);
        return 2;
    }
    // The flat 3-D look of classic dialogs.
    if (QStyle* classic = QStyleFactory::create("Windows"))
        QApplication::setStyle(classic);
    app::TForm1 Form1;
    Form1.show();
    return application.exec();
}
