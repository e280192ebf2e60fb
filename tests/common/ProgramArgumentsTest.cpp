#include "ProgramArguments.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

using ZORVI::ProgramArguments;
using Action = ZORVI::ProgramArguments::Action;

namespace {

const ProgramArguments::Program UPDATER{"ZORVIKUpdater", "1.0.6", "Flashes updates.", "FILE.upd",
                                        "open this update file"};
const ProgramArguments::Program SETTINGS{"ZORVIKMicroSettings", "3.0.2", "Edits parameters.",
                                         "FILE.zset", "load this settings file"};
// A program that opens no file at all.
const ProgramArguments::Program NO_FILE{"zorvik-tool", "1.0.0", "Does one thing.", "", ""};

struct Line {
    const char* name;
    const ProgramArguments::Program* program;
    std::vector<std::string> arguments;
    Action action;
    std::string port;
    std::string file;
    std::string errorPart; // a part of the error, for Invalid
};

void PrintTo(const Line& line, std::ostream* out)
{
    *out << line.name;
}

class ProgramArgumentsLine : public testing::TestWithParam<Line> {};

TEST_P(ProgramArgumentsLine, IsReadAsTheWindowsRead)
{
    const Line& line = GetParam();
    const ProgramArguments read = ProgramArguments::parse(*line.program, line.arguments);
    EXPECT_EQ(read.action(), line.action);
    EXPECT_EQ(read.port(), line.port);
    EXPECT_EQ(read.file(), line.file);
    if (line.action == Action::Invalid)
        EXPECT_NE(read.error().find(line.errorPart), std::string::npos) << read.error();
    else
        EXPECT_EQ(read.error(), line.errorPart);
}

// clang-format off
const Line LINES[] = {
    {"Nothing", &UPDATER, {}, Action::Run, "", "", ""},
    {"FileOnly", &UPDATER, {"a.upd"}, Action::Run, "", "a.upd", ""},
    {"PortBeforeFile", &UPDATER, {"--port", "ttySIM0", "a.upd"}, Action::Run, "ttySIM0", "a.upd", ""},
    {"PortAfterFile", &UPDATER, {"a.upd", "--port", "ttySIM0"}, Action::Run, "ttySIM0", "a.upd", ""},
    {"PortJoined", &SETTINGS, {"--port=ttyUSB0"}, Action::Run, "ttyUSB0", "", ""},
    {"SamePortTwice", &SETTINGS, {"--port", "COM3", "--port=COM3"}, Action::Run, "COM3", "", ""},
    {"FileAfterDoubleDash", &UPDATER, {"--", "--help"}, Action::Run, "", "--help", ""},
    {"HelpAnywhere", &UPDATER, {"a.upd", "--port", "ttyS0", "--help"}, Action::Help, "ttyS0", "a.upd", ""},
    {"ShortHelp", &SETTINGS, {"-h"}, Action::Help, "", "", ""},
    {"HelpWinsOverVersion", &SETTINGS, {"--version", "--help"}, Action::Help, "", "", ""},
    {"HelpWinsOverAFault", &NO_FILE, {"-platform", "offscreen", "--help"}, Action::Help, "", "", "unknown option '-platform'"},
    {"Version", &UPDATER, {"--version"}, Action::Version, "", "", ""},
    {"VersionWinsOverAFault", &SETTINGS, {"--bogus", "--version"}, Action::Version, "", "", "unknown option '--bogus'"},
    {"UnknownOption", &UPDATER, {"--bogus"}, Action::Invalid, "", "", "unknown option '--bogus'"},
    {"PortWithoutName", &UPDATER, {"--port"}, Action::Invalid, "", "", "--port needs the NAME"},
    {"PortNamedEmpty", &SETTINGS, {"--port="}, Action::Invalid, "", "", "--port needs the NAME"},
    {"PortNamedLikeAnOption", &UPDATER, {"--port", "--help"}, Action::Invalid, "", "", "not '--help'"},
    {"TwoPorts", &SETTINGS, {"--port", "ttyS0", "--port", "ttyS1"}, Action::Invalid, "ttyS0", "", "--port given twice"},
    {"SettingsFile", &SETTINGS, {"heli.zset", "--port", "ttyUSB0"}, Action::Run, "ttyUSB0", "heli.zset", ""},
    {"FileWhereNoneIsTaken", &NO_FILE, {"heli.zset"}, Action::Invalid, "", "", "takes no file ('heli.zset')"},
    {"TwoFiles", &UPDATER, {"a.upd", "b.upd"}, Action::Invalid, "", "a.upd", "one FILE.upd at a time"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Windows, ProgramArgumentsLine, testing::ValuesIn(LINES),
                         [](const testing::TestParamInfo<Line>& info) { return info.param.name; });

// What a run of the program prints and returns for a command line.
struct Answer {
    std::optional<int> status;
    std::string out;
    std::string err;
};

std::string contentsOf(std::FILE* file)
{
    std::rewind(file);
    std::string text;
    int c = 0;
    while ((c = std::fgetc(file)) != EOF)
        text += static_cast<char>(c);
    std::fclose(file);
    return text;
}

Answer answerTo(const ProgramArguments::Program& program, const std::vector<std::string>& line,
                bool early)
{
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    const ProgramArguments read = ProgramArguments::parse(program, line);
    Answer answer;
    answer.status = early ? read.answerInformation(program, out) : read.answer(program, out, err);
    answer.out = contentsOf(out);
    answer.err = contentsOf(err);
    return answer;
}

TEST(ProgramArguments, VersionIsTheProgramNameAndVersionOnOneLine)
{
    for (bool early : {true, false}) {
        const Answer answer = answerTo(UPDATER, {"--version"}, early);
        EXPECT_EQ(answer.status, 0);
        EXPECT_EQ(answer.out, "ZORVIKUpdater 1.0.6\n");
        EXPECT_EQ(answer.err, "");
    }
}

TEST(ProgramArguments, HelpNamesEveryOptionTheProgramTakes)
{
    const Answer updater = answerTo(UPDATER, {"--help"}, true);
    EXPECT_EQ(updater.status, 0);
    EXPECT_EQ(updater.out.rfind("Usage: ZORVIKUpdater [--port NAME] [FILE.upd]\n", 0), 0u)
        << updater.out;
    for (const char* part : {"--port NAME", "FILE.upd      open this update file", "--version",
                             "--help", "Flashes updates."})
        EXPECT_NE(updater.out.find(part), std::string::npos) << part;

    const Answer settings = answerTo(SETTINGS, {"--help"}, true);
    EXPECT_EQ(settings.out.rfind("Usage: ZORVIKMicroSettings [--port NAME] [FILE.zset]\n", 0), 0u)
        << settings.out;

    const Answer noFile = answerTo(NO_FILE, {"--help"}, true);
    EXPECT_EQ(noFile.out.rfind("Usage: zorvik-tool [--port NAME]\n", 0), 0u) << noFile.out;
    EXPECT_EQ(noFile.out.find("FILE"), std::string::npos) << noFile.out;
}

TEST(ProgramArguments, ARefusedLineNamesTheFaultThenTheUsage)
{
    const Answer refused = answerTo(SETTINGS, {"--bogus"}, false);
    EXPECT_EQ(refused.status, ProgramArguments::EXIT_USAGE);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "ZORVIKMicroSettings: unknown option '--bogus'\n\n"
                               + ProgramArguments::usage(SETTINGS));

    const Answer run = answerTo(UPDATER, {"--port", "ttySIM0", "a.upd"}, false);
    EXPECT_FALSE(run.status.has_value());
    EXPECT_EQ(run.out + run.err, "");
}

// Before QApplication has taken Qt's own options out, they are passed over
// (with their values), so that the program's own faults are refused
// without a display, and Qt's options are never taken for ours.
TEST(ProgramArguments, BeforeQtTheLinePassesOverQtsOwnOptions)
{
    struct Case {
        std::vector<std::string> arguments;
        Action action;
        std::string file;
        std::string errorPart;
    };
    const Case cases[] = {
        {{"-platform", "offscreen"}, Action::Run, "", ""},
        {{"-style=fusion", "-reverse", "a.upd"}, Action::Run, "a.upd", ""},
        {{"-platform", "offscreen", "--bogus"}, Action::Invalid, "", "unknown option '--bogus'"},
        // A value is Qt's, not the program's file.
        {{"-stylesheet", "look.qss", "a.upd"}, Action::Run, "a.upd", ""},
        {{"-platformx"}, Action::Invalid, "", "unknown option '-platformx'"},
        {{"--", "-style"}, Action::Run, "-style", ""},
    };
    for (const Case& line : cases) {
        const ProgramArguments read = ProgramArguments::parseBeforeQt(UPDATER, line.arguments);
        EXPECT_EQ(read.action(), line.action) << line.arguments.front();
        EXPECT_EQ(read.file(), line.file) << line.arguments.front();
        EXPECT_NE(read.error().find(line.errorPart), std::string::npos) << read.error();
    }
    // Read after QApplication, the same words are the program's own.
    EXPECT_EQ(ProgramArguments::parse(UPDATER, {"-platform", "offscreen"}).action(),
              Action::Invalid);
}

TEST(ProgramArguments, UnknownPortMessageNamesThePortsThatAreListed)
{
    EXPECT_EQ(ProgramArguments::unknownPortMessage(UPDATER, "ttyUSB9", {"ttyS0", "ttySIM0"}),
              "ZORVIKUpdater: port 'ttyUSB9' is not listed (listed: ttyS0, ttySIM0); choose "
              "the port in the window. Check that the adapter is plugged in, or run `zorvik "
              "ports`.\n");
    EXPECT_NE(ProgramArguments::unknownPortMessage(SETTINGS, "COM3", {}).find("(no port is listed)"),
              std::string::npos);
}

TEST(ProgramArguments, ListOfSkipsTheProgramName)
{
    char program[] = "ZORVIKUpdater";
    char port[] = "--port";
    char name[] = "ttySIM0";
    char* argv[] = {program, port, name, nullptr};
    EXPECT_EQ(ProgramArguments::listOf(3, argv), (std::vector<std::string>{"--port", "ttySIM0"}));
    EXPECT_TRUE(ProgramArguments::listOf(1, argv).empty());
}

} // namespace
