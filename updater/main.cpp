#include "ZORVIKUpdater.h"

#include <QApplication>
#include <QFile>

// ZORVIKUpdater [update file]
int main(int argc, char* argv[])
{
    QApplication application(argc, argv);

    ZORVI::ZORVIKUpdater window;
    window.show();
    window.activateWindow();
    // QApplication has taken its own options out of argv by now.
    if (argc > 1)
        window.setUpdateFile(QFile::decodeName(argv[1]));
    return application.exec();
}
