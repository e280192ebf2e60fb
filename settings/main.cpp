#include "ZORVIKMiniSetup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    ZORVI::ZORVIKMiniSetup window;
    window.show();
    return application.exec();
}
