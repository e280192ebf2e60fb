#include "ProgramArguments.h"
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
    // --help and --version need no display.
    using ZORVI::ProgramArguments;
    if (const auto status = ProgramArguments::parse(program, ProgramArguments::listOf(argc, argv))
                                .answerInformation(program, stdout))
        return *status;

    // Stopped by a signal instead of the window's close, the program still
    // gives the port back.
    ZORVI::Communication::Serial::SignalPortRelease::install();
    QApplication application(argc, argv);
    // The window belongs to its menu entry (resources/linux) also on Wayland.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.zorvik_heli.MicroSettings"));
    // QApplication has taken its own options out of argv by now.
    const ProgramArguments arguments =
        ProgramArguments::parse(program, ProgramArguments::listOf(argc, argv));
    if (const auto status = arguments.answer(program, stdout, stderr))
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
    return application.exec();
}
