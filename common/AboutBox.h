#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include <cstdint>
#include <memory>

namespace Ui {
class AboutBoxClass;
}

// The about box of both programs: the program's name, its version and build
// date, the version and build date of the communication library, and the
// framework's licence note. One form serves both programs; the program says
// which one it is and hands in the versions, so the box itself needs no
// device link (the two programs link different builds of it).
class AboutBox : public QDialog {
    Q_OBJECT

public:
    enum class Program { Settings, Updater };

    struct Versions {
        QString programVersion;
        QString programDate;
        uint32_t libraryMajor = 0;
        uint32_t libraryMinor = 0;
        uint32_t libraryPatch = 0;
        QString libraryDate;
    };

    // The buffer the library writes its build date into.
    static constexpr uint32_t LIBRARY_DATE_BUFFER_SIZE = 100;

    // Reads the versions from a main window offering version() and the
    // communication library's libraryInfo(buffer, size, &major, &minor, &patch).
    template <class MainWindow>
    static Versions versionsOf(MainWindow& window, const QString& programDate);

    // Deletes itself when closed.
    AboutBox(Program program, const Versions& versions, QWidget* parent,
             Qt::WindowFlags flags = Qt::WindowFlags());
    ~AboutBox() override;

private:
    QSize showProgram(Program program);
    void showVersions(const Versions& versions);
    void resizeToFit(QSize designedSize);

    std::unique_ptr<Ui::AboutBoxClass> m_ui;
};

template <class MainWindow>
AboutBox::Versions AboutBox::versionsOf(MainWindow& window, const QString& programDate)
{
    Versions versions;
    char libraryDate[LIBRARY_DATE_BUFFER_SIZE] = {};
    window.libraryInfo(libraryDate, LIBRARY_DATE_BUFFER_SIZE, &versions.libraryMajor,
                       &versions.libraryMinor, &versions.libraryPatch);
    versions.libraryDate = QString::fromLatin1(libraryDate);
    versions.programVersion = window.version();
    versions.programDate = programDate;
    return versions;
}
