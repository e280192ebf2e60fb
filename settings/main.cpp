#include "GraphicalSession.h"
#include "ProgramAnswer.h"
#include "ProgramArguments.h"
#include "ProgramStart.h"
#include "ZORVIKMiniSetup.h"
#include "ZorvikVersion.h"
#include "win32/SignalPortRelease.h"

#include <QApplication>

#include <cstdio>

// ZORVIKMicroSettings [--port NAME] [--help] [--version]
int main(int argc, char* argv[])
{
    const ZORVI::ProgramArguments::Program program{
        "ZORVIKMicroSettings", ZORVI::Version::SETTINGS,
        "Reads and edits the flight parameters of a ZORVIK device through its KORLINK adapter.",
        "FILE.zset", "a settings file to load (with its preview) once a device is connected"};
    // --help, --version and a line the program cannot follow need no display.
    using ZORVI::ProgramArguments;
    if (const auto status = ZORVI::ProgramStart::beforeApplication(program, argc, argv))
        return *status;

    // Stopped by a signal instead of the window's close, the program still
    // gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    // Without a display: a sentence and status 1, not Qt's abort.
    const auto application = ZORVI::GraphicalSession::open(
        program,
        "zorvik ports, zorvik info PORT, zorvik params PORT, "
        "zorvik set PORT NAME=VALUE, zorvik save PORT FILE, zorvik load PORT FILE",
        argc, argv);
    // The window belongs to its menu entry (resources/linux) also on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.zorvik_heli.microsettings"));
    // QApplication has taken its own options out of argv by now.
    const ProgramArguments arguments =
        ProgramArguments::parse(program, ProgramArguments::listOf(argc, argv));
    if (const auto status = ZORVI::ProgramAnswer::answer(program, arguments))
        return *status;

    ZORVI::ZORVIKMiniSetup window;
    window.show();
    const QString port = QString::fromLocal8Bit(arguments.port().c_str());
    if (!port.isEmpty() && !window.preselectPort(port))
        std::fputs(ProgramArguments::unknownPortMessage(program, arguments.port(),
                                                        window.listedPorts())
                       .c_str(),
                   stderr);
    if (!arguments.file().empty())
        window.loadSettingsFileOnConnect(QString::fromLocal8Bit(arguments.file().c_str()));
    return application->exec();
}
