// main() for the window's tests: the program's own application object, so
// that errors escaping a handler meet the same catch as in the program.
#include "app/application.h"

#include <QStyleFactory>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    app::Application application(argc, argv);
    if (QStyle* classic = QStyleFactory::create("Windows"))
        QApplication::setStyle(classic);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
