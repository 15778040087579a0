#include "app/application.h"
#include "app/unit1.h"

#include <QStyleFactory>

int main(int argc, char** argv)
{
    app::Application application(argc, argv);
    // The flat 3-D look of classic dialogs.
    if (QStyle* classic = QStyleFactory::create("Windows"))
        QApplication::setStyle(classic);
    app::TForm1 Form1;
    Form1.show();
    return application.exec();
}
