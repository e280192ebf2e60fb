#include "ProgramAnswer.h"

#include "ParentConsole.h"

#include <QMessageBox>
#include <QString>

#include <cstdio>

namespace ZORVI {

namespace {

QString fromUtf8(const std::string& text)
{
    return QString::fromUtf8(text.c_str()).trimmed();
}

void showBox(const ProgramArguments::Program& program, QMessageBox::Icon icon,
             const std::string& text)
{
    QMessageBox box(icon, fromUtf8(program.name), fromUtf8(text), QMessageBox::Ok);
    // Usage lines are aligned with spaces and hold no markup.
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

std::optional<int> ProgramAnswer::answer(const ProgramArguments::Program& program,
                                         const ProgramArguments& arguments)
{
    if (arguments.action() == ProgramArguments::Action::Run)
        return std::nullopt;
    return answer(program, arguments, ParentConsole::reachable());
}

std::optional<int> ProgramAnswer::answer(const ProgramArguments::Program& program,
                                         const ProgramArguments& arguments, bool onConsole)
{
    if (onConsole)
        return arguments.answer(program, stdout, stderr);
    switch (arguments.action()) {
    case ProgramArguments::Action::Run:
        return std::nullopt;
    case ProgramArguments::Action::Help:
        showBox(program, QMessageBox::Information, ProgramArguments::usage(program));
        return 0;
    case ProgramArguments::Action::Version:
        showBox(program, QMessageBox::Information, ProgramArguments::versionLine(program));
        return 0;
    case ProgramArguments::Action::Invalid:
        break;
    }
    showBox(program, QMessageBox::Warning, arguments.refusal(program));
    return ProgramArguments::EXIT_USAGE;
}

} // namespace ZORVI
