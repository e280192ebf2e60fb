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
// which one it is and hands in its own version, the device link's is read
// from the link itself.
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

    // The program's version and date as given, and the device link's
    // version and release date (Control::libraryInfo).
    static Versions versionsOf(const QString& programVersion, const QString& programDate);

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
