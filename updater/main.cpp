#include "ZORVIKUpdater.h"
#include "win32/SignalPortRelease.h"

#include <QApplication>
#include <QFile>

// ZORVIKUpdater [update file]
int main(int argc, char* argv[])
{
    // Stopped by a signal instead of the window's close, the program still
    // gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    QApplication application(argc, argv);

    ZORVI::ZORVIKUpdater window;
    window.show();
    window.activateWindow();
    // QApplication has taken its own options out of argv by now.
    if (argc > 1)
        window.setUpdateFile(QFile::decodeName(argv[1]));
    return application.exec();
}
