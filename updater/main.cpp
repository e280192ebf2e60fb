#include "GraphicalSession.h"
#include "ProgramAnswer.h"
#include "ProgramArguments.h"
#include "ProgramStart.h"
#include "ZORVIKUpdater.h"
#include "ZorvikVersion.h"
#include "win32/SignalPortRelease.h"

#include <QApplication>
#include <QFile>

#include <cstdio>

// ZORVIKUpdater [--port NAME] [FILE.upd] [--help] [--version]
int main(int argc, char* argv[])
{
    const ZORVI::ProgramArguments::Program program{
        "ZORVIKUpdater", ZORVI::Version::UPDATER,
        "Flashes a firmware update file into a ZORVIK device through its KORLINK adapter.",
        "FILE.upd", "open this update file (its description, if any, is shown first)"};
    // --help, --version and a line the program cannot follow need no display.
    using ZORVI::ProgramArguments;
    if (const auto status = ZORVI::ProgramStart::beforeApplication(program, argc, argv))
        return *status;

    // Stopped by a signal instead of the window's close, the program still
    // gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    ZORVI::ZORVIKUpdater::paintWithoutWaitingForTheDisplay();
    // Without a display: a sentence and status 1, not Qt's abort.
    const auto application = ZORVI::GraphicalSession::open(
        program,
        "zorvik ports, zorvik info PORT, "
        "zorvik file FILE, zorvik update PORT FILE",
        argc, argv);
    // The window belongs to its menu entry (resources/linux) also on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.zorvik_heli.updater"));
    // QApplication has taken its own options out of argv by now.
    const ProgramArguments arguments =
        ProgramArguments::parse(program, ProgramArguments::listOf(argc, argv));
    if (const auto status = ZORVI::ProgramAnswer::answer(program, arguments))
        return *status;

    ZORVI::ZORVIKUpdater window;
    window.show();
    window.activateWindow();
    if (!arguments.file().empty())
        window.setUpdateFile(QFile::decodeName(arguments.file().c_str()));
    const QString port = QString::fromLocal8Bit(arguments.port().c_str());
    if (!port.isEmpty() && !window.preselectPort(port))
        std::fputs(ProgramArguments::unknownPortMessage(program, arguments.port(),
                                                        window.listedPorts())
                       .c_str(),
                   stderr);
    return application->exec();
}
