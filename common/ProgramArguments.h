#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace ZORVI {

// The command line of the two windows, ZORVIKMicroSettings and
// ZORVIKUpdater: --help and --version answered on the terminal (before any
// display is needed), --port NAME to preselect the adapter's port, and for
// the updater one update file. No Qt, so that the same rules are read
// before QApplication exists and after it has taken its own options out.
class ProgramArguments {
public:
    // What a program accepts and says about itself.
    struct Program {
        std::string name;     // as installed, e.g. "ZORVIKUpdater"
        std::string version;  // from the generated version header
        std::string summary;  // one line under the usage line
        std::string fileName; // e.g. "FILE.upd"; empty: the program takes no file
        std::string fileHelp; // what the file is for
    };

    enum class Action {
        Run,     // show the window
        Help,    // print the usage and end
        Version, // print "NAME VERSION" and end
        Invalid  // print the error and end with EXIT_USAGE
    };

    // The status of a command line the program cannot follow, as zorvik-sim
    // and zorvik use it.
    static constexpr int EXIT_USAGE = 2;

    // Reads the arguments after the program name. --help (or -h) wins over
    // everything else on the line, then --version; "--" ends the options.
    static ProgramArguments parse(const Program& program, const std::vector<std::string>& arguments);
    // The same before QApplication has taken its own options (-platform,
    // -style, ...) out of the line: those are passed over, so that a line
    // the program cannot follow is refused before a display is needed.
    static ProgramArguments parseBeforeQt(const Program& program,
                                          const std::vector<std::string>& arguments);
    static std::vector<std::string> listOf(int argc, char** argv);

    Action action() const { return m_action; }
    // The port to preselect: empty for the window's normal selection.
    const std::string& port() const { return m_port; }
    // The file to open: empty for none.
    const std::string& file() const { return m_file; }
    const std::string& error() const { return m_error; }

    static std::string usage(const Program& program);
    static std::string versionLine(const Program& program);
    // What is said about a command line that cannot be followed: the fault,
    // then the usage.
    std::string refusal(const Program& program) const;
    // Said on standard error when the port to preselect is not listed.
    static std::string unknownPortMessage(const Program& program, const std::string& port,
                                          const std::vector<std::string>& listed);

    // Help and version go to `out`, a command line that cannot be followed
    // to `err`: the exit status then, nothing when the window should run.
    std::optional<int> answer(const Program& program, std::FILE* out, std::FILE* err) const;
    // The same before QApplication has read the line: only --help and
    // --version are answered, since Qt's own options (-platform, -style, ...)
    // are still in it and are not ours to judge.
    std::optional<int> answerInformation(const Program& program, std::FILE* out) const;

private:
    static ProgramArguments parse(const Program& program, const std::vector<std::string>& arguments,
                                  bool passOverQtOptions);
    void readOption(const std::vector<std::string>& arguments, size_t& index);
    void readOperand(const Program& program, const std::string& argument);
    void fail(const std::string& error);

    Action m_action = Action::Run;
    bool m_help = false;
    bool m_version = false;
    std::string m_port;
    std::string m_file;
    std::string m_error;
};

} // namespace ZORVI
