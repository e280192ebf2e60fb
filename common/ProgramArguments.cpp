#include "ProgramArguments.h"

#include <set>

namespace ZORVI {

namespace {

const std::string PORT_OPTION = "--port";
// Where the option texts of the usage start, after two spaces.
constexpr size_t HELP_COLUMN = 14;

// Qt's own options, which QApplication takes out of the line: those that
// are followed by a value, and those that stand alone. Read before
// QApplication exists, they are passed over (see parseBeforeQt).
const std::set<std::string> QT_OPTIONS_WITH_VALUE = {
    "-platform", "-platformpluginpath", "-platformtheme", "-plugin", "-qwindowgeometry",
    "-geometry", "-qwindowtitle", "-title", "-qwindowicon", "-icon", "-session", "-display",
    "-name", "-style", "-stylesheet", "-qmljsdebugger"};
const std::set<std::string> QT_FLAGS = {"-reverse", "-widgetcount", "-nograb", "-dograb",
                                        "-testability"};

// How many words from `index` on are one of Qt's options: 0 for none of
// them, 1 for a flag or an option joined to its value ("-style=fusion"),
// 2 for an option and its value.
size_t qtOptionWords(const std::vector<std::string>& arguments, size_t index)
{
    const std::string& argument = arguments[index];
    if (QT_FLAGS.count(argument))
        return 1;
    if (QT_OPTIONS_WITH_VALUE.count(argument))
        return index + 1 < arguments.size() ? 2 : 1;
    const size_t equals = argument.find('=');
    if (equals != std::string::npos && QT_OPTIONS_WITH_VALUE.count(argument.substr(0, equals)))
        return 1;
    return 0;
}

bool isHelp(const std::string& argument)
{
    return argument == "--help" || argument == "-h";
}

// A port name as the port list gives it: a name in the port map or a kernel
// device name, never empty and never an option.
bool isPortName(const std::string& name)
{
    return !name.empty() && name[0] != '-';
}

} // namespace

ProgramArguments ProgramArguments::parse(const Program& program,
                                         const std::vector<std::string>& arguments)
{
    return parse(program, arguments, false);
}

ProgramArguments ProgramArguments::parseBeforeQt(const Program& program,
                                                 const std::vector<std::string>& arguments)
{
    return parse(program, arguments, true);
}

ProgramArguments ProgramArguments::parse(const Program& program,
                                         const std::vector<std::string>& arguments,
                                         bool passOverQtOptions)
{
    ProgramArguments result;
    bool options = true;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const size_t qtWords = options && passOverQtOptions ? qtOptionWords(arguments, i) : 0;
        if (qtWords > 0)
            i += qtWords - 1;
        else if (options && argument == "--")
            options = false;
        else if (options && argument.size() > 1 && argument[0] == '-')
            result.readOption(arguments, i);
        else
            result.readOperand(program, argument);
    }
    if (result.m_help)
        result.m_action = Action::Help;
    else if (result.m_version)
        result.m_action = Action::Version;
    else if (!result.m_error.empty())
        result.m_action = Action::Invalid;
    return result;
}

std::vector<std::string> ProgramArguments::listOf(int argc, char** argv)
{
    return argc > 1 ? std::vector<std::string>(argv + 1, argv + argc) : std::vector<std::string>();
}

void ProgramArguments::readOption(const std::vector<std::string>& arguments, size_t& index)
{
    const std::string& argument = arguments[index];
    if (isHelp(argument)) {
        m_help = true;
    } else if (argument == "--version") {
        m_version = true;
    } else if (argument == PORT_OPTION || argument.rfind(PORT_OPTION + "=", 0) == 0) {
        const bool joined = argument.size() > PORT_OPTION.size();
        if (!joined && index + 1 >= arguments.size()) {
            fail("--port needs the NAME of a port, e.g. --port ttyUSB0");
            return;
        }
        const std::string name =
            joined ? argument.substr(PORT_OPTION.size() + 1) : arguments[++index];
        if (!isPortName(name))
            fail("--port needs the NAME of a port, e.g. --port ttyUSB0, not '" + name + "'");
        else if (!m_port.empty() && m_port != name)
            fail("--port given twice ('" + m_port + "' and '" + name + "')");
        else
            m_port = name;
    } else {
        fail("unknown option '" + argument + "'");
    }
}

void ProgramArguments::readOperand(const Program& program, const std::string& argument)
{
    if (program.fileName.empty())
        fail("takes no file ('" + argument + "')");
    else if (!m_file.empty())
        fail("opens one " + program.fileName + " at a time ('" + m_file + "' and '" + argument
             + "')");
    else
        m_file = argument;
}

void ProgramArguments::fail(const std::string& error)
{
    // The first fault is the one to fix first.
    if (m_error.empty())
        m_error = error;
}

std::string ProgramArguments::usage(const Program& program)
{
    const bool takesFile = !program.fileName.empty();
    std::string text = "Usage: " + program.name + " [--port NAME]"
        + (takesFile ? " [" + program.fileName + "]" : std::string()) + "\n" + program.summary
        + "\n\n"
          "  --port NAME   preselect the KORLINK adapter's port NAME, as `zorvik ports`\n"
          "                lists it (e.g. ttyUSB0, or ttySIM0 for the device simulator);\n"
          "                a port that is not listed is named on standard error and the\n"
          "                window starts with its usual selection\n";
    if (takesFile) {
        const size_t pad = program.fileName.size() < HELP_COLUMN ? HELP_COLUMN - program.fileName.size() : 1;
        text += "  " + program.fileName + std::string(pad, ' ') + program.fileHelp + "\n";
    }
    text += "  --version     print the program's version and exit\n"
            "  --help        show this text and exit\n\n"
            "Qt's own options (-platform NAME, -style NAME, ...) are accepted as well.\n";
    return text;
}

std::string ProgramArguments::versionLine(const Program& program)
{
    return program.name + " " + program.version + "\n";
}

std::string ProgramArguments::unknownPortMessage(const Program& program, const std::string& port,
                                                 const std::vector<std::string>& listed)
{
    std::string ports;
    for (const std::string& name : listed)
        ports += (ports.empty() ? "" : ", ") + name;
    return program.name + ": port '" + port + "' is not listed ("
        + (ports.empty() ? std::string("no port is listed") : "listed: " + ports)
        + "); choose the port in the window. Check that the adapter is plugged in, or run "
          "`zorvik ports`.\n";
}

std::optional<int> ProgramArguments::answer(const Program& program, std::FILE* out,
                                            std::FILE* err) const
{
    if (const std::optional<int> status = answerInformation(program, out))
        return status;
    if (m_action != Action::Invalid)
        return std::nullopt;
    std::fputs(refusal(program).c_str(), err);
    return EXIT_USAGE;
}

std::string ProgramArguments::refusal(const Program& program) const
{
    return program.name + ": " + m_error + "\n\n" + usage(program);
}

std::optional<int> ProgramArguments::answerInformation(const Program& program,
                                                       std::FILE* out) const
{
    if (m_action == Action::Help)
        std::fputs(usage(program).c_str(), out);
    else if (m_action == Action::Version)
        std::fputs(versionLine(program).c_str(), out);
    else
        return std::nullopt;
    return 0;
}

} // namespace ZORVI
