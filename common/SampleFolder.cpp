#include "SampleFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace ZORVI {

QString SampleFolder::find()
{
    const QString relative = QString::fromLatin1(RELATIVE_PATH);
    // The program's own copy, before any other one the data folders list.
    const QFileInfo beside(QCoreApplication::applicationDirPath()
                           + QStringLiteral("/../share/") + relative);
    if (beside.isDir())
        return QDir::cleanPath(beside.absoluteFilePath());
    const QString located = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                   relative, QStandardPaths::LocateDirectory);
    return located.isEmpty() ? located : QDir::cleanPath(located);
}

} // namespace ZORVI
