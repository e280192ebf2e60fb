// A window program started without a console (on Windows from Explorer or a
// shortcut) answers --help, --version and a mistyped line in a message box,
// with the same words and exit status as on the terminal.
#include "ModalBoxAnswerer.h"
#include "ProgramAnswer.h"

#include <QtTest>

using ZORVI::ProgramAnswer;
using ZORVI::ProgramArguments;

namespace {

const ProgramArguments::Program PROGRAM{"ZORVIKUpdater", "1.0.6", "Flashes updates.", "FILE.upd",
                                        "open this update file"};

ProgramArguments parsed(const QStringList& words)
{
    std::vector<std::string> arguments;
    for (const QString& word : words)
        arguments.push_back(word.toStdString());
    return ProgramArguments::parse(PROGRAM, arguments);
}

QString trimmed(const std::string& text)
{
    return QString::fromStdString(text).trimmed();
}

} // namespace

class ProgramAnswerTest : public QObject {
    Q_OBJECT

private slots:
    void answersWithoutConsoleInABox_data();
    void answersWithoutConsoleInABox();
    void runLeavesTheWindowToRunWithoutABox();
};

void ProgramAnswerTest::answersWithoutConsoleInABox_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<int>("status");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("text");

    const ProgramArguments refused = parsed({"--bogus"});
    QTest::newRow("help") << QStringList{"--help"} << 0 << int(QMessageBox::Information)
                          << trimmed(ProgramArguments::usage(PROGRAM));
    QTest::newRow("version") << QStringList{"--version"} << 0 << int(QMessageBox::Information)
                             << "ZORVIKUpdater 1.0.6";
    QTest::newRow("unknown option")
        << QStringList{"--bogus"} << ProgramArguments::EXIT_USAGE << int(QMessageBox::Warning)
        << trimmed(refused.refusal(PROGRAM));
}

void ProgramAnswerTest::answersWithoutConsoleInABox()
{
    QFETCH(QStringList, words);
    QFETCH(int, status);
    QFETCH(int, icon);
    QFETCH(QString, text);

    ModalBoxAnswerer boxes;
    const std::optional<int> answered =
        ProgramAnswer::answer(PROGRAM, parsed(words), /*onConsole=*/false);

    QVERIFY(answered.has_value());
    QCOMPARE(*answered, status);
    QCOMPARE(boxes.count(), 1);
    QCOMPARE(int(boxes.seen().first().icon), icon);
    QCOMPARE(boxes.seen().first().text, text);
    QVERIFY(!text.isEmpty());
}

void ProgramAnswerTest::runLeavesTheWindowToRunWithoutABox()
{
    ModalBoxAnswerer boxes;
    for (const bool onConsole : {false, true})
        QVERIFY(!ProgramAnswer::answer(PROGRAM, parsed({"--port", "COM5", "a.upd"}), onConsole));
    QCOMPARE(boxes.count(), 0);
}

QTEST_MAIN(ProgramAnswerTest)
#include "ProgramAnswerTest.moc"
