#include "GraphicalSession.h"

#include "ShownText.h"

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace ZORVI {

namespace {

// While QApplication is being made, Qt's messages are held back: when it
// cannot open the platform (the display) they explain why, in Qt's words,
// and otherwise they are passed on as they came.
struct HeldMessage {
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;

    void passOn() const
    {
        const QMessageLogContext context(file.constData(), line, function.constData(),
                                         category.constData());
        qt_message_output(type, context, text);
    }
};

struct Opening {
    const ProgramArguments::Program* program = nullptr;
    std::string commands;
    QList<HeldMessage> held;
    QtMessageHandler previous = nullptr;
};

Opening* opening = nullptr;

// The first of Qt's words on the failure (the platform plugin's warning says
// what it tried, the fatal message only that nothing worked).
std::string reasonOf(const QString& fatal)
{
    for (const HeldMessage& message : std::as_const(opening->held)) {
        if (message.type == QtWarningMsg || message.type == QtCriticalMsg)
            return message.text.trimmed().toStdString();
    }
    return fatal.section(QLatin1Char('\n'), 0, 0).trimmed().toStdString();
}

void holdMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type != QtFatalMsg) {
        opening->held.append({type, QByteArray(context.file), context.line,
                              QByteArray(context.function), QByteArray(context.category), text});
        return;
    }
    const std::string said = GraphicalSession::refusal(*opening->program, opening->commands,
                                                       reasonOf(text));
    std::fputs(said.c_str(), stderr);
    std::fflush(stderr);
    // Qt is half made: nothing of it may run any more, not even the
    // handlers of a normal exit.
    std::_Exit(GraphicalSession::EXIT_NO_DISPLAY);
}

} // namespace

std::string GraphicalSession::refusal(const ProgramArguments::Program& program,
                                      const std::string& commands, const std::string& reason)
{
    const std::string shown = ShownText::of(reason).toStdString();
    return program.name + " needs a graphical session to show its window (a desktop, or ssh -X),"
           + " and none could be opened" + (shown.empty() ? "" : ": " + shown) + ".\n"
           + "Without a display, the command line does the same work: " + commands
           + " (see zorvik --help).\n";
}

std::unique_ptr<QApplication> GraphicalSession::open(const ProgramArguments::Program& program,
                                                     const std::string& commands, int& argc,
                                                     char** argv)
{
    Opening state;
    state.program = &program;
    state.commands = commands;
    opening = &state;
    state.previous = qInstallMessageHandler(holdMessage);
    auto application = std::make_unique<QApplication>(argc, argv);
    qInstallMessageHandler(state.previous);
    opening = nullptr;
    for (const HeldMessage& message : std::as_const(state.held))
        message.passOn();
    return application;
}

} // namespace ZORVI
