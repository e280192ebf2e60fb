#include "ZORVIKMiniSetup.h"
#include "win32/SignalPortRelease.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    // Stopped by a signal instead of the window's close, the program still
    // gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    QApplication application(argc, argv);
    ZORVI::ZORVIKMiniSetup window;
    window.show();
    return application.exec();
}
