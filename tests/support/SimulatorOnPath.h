#pragma once

// Puts a folder at the front of PATH for as long as the object lives, so
// that a window finds the zorvik-sim there as a user's would on the PATH
// (the tests' own executables have no simulator beside them): the build's
// own simulator, a stand-in script, or none at all (an empty folder).

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QtGlobal>

class SimulatorOnPath {
public:
    // An empty folder name leaves no folder at all on PATH.
    explicit SimulatorOnPath(const QString& folder)
        : m_old(qgetenv("PATH"))
    {
        const QByteArray front = QDir::toNativeSeparators(folder).toLocal8Bit();
        qputenv("PATH", folder.isEmpty() ? QByteArray("/nonexistent")
                                         : front + QDir::listSeparator().toLatin1() + m_old);
    }

    ~SimulatorOnPath() { qputenv("PATH", m_old); }

    SimulatorOnPath(const SimulatorOnPath&) = delete;
    SimulatorOnPath& operator=(const SimulatorOnPath&) = delete;

    // The folder of this program.
    static QString folderOf(const QString& program) { return QFileInfo(program).absolutePath(); }

private:
    QByteArray m_old;
};
