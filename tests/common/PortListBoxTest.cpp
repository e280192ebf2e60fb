// The windows' port box rebuilt from a new port list: the chosen port stays
// chosen while it is listed, and each window's rule for a box with nothing
// chosen holds; the port likely to be the KORLINK interface, or none.
#include "PortListBox.h"

#ifndef _WIN32
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"
#endif

#include <QApplication>
#include <QComboBox>
#include <QSignalSpy>
#include <QtTest>

using ZORVI::PortListBox;

Q_DECLARE_METATYPE(PortListBox::Unchosen)
Q_DECLARE_METATYPE(PortListBox::Selection)

namespace {

QStringList items(const QComboBox& box)
{
    QStringList texts;
    for (int index = 0; index < box.count(); ++index)
        texts << box.itemText(index);
    return texts;
}

} // namespace

class PortListBoxTest : public QObject {
    Q_OBJECT

private slots:
    void rebuildKeepsTheChosenPort_data();
    void rebuildKeepsTheChosenPort();
    void namesComeFromTheSystemsEncoding();
    void likelyInterface_data();
    void likelyInterface();
    void rebuildOffersTheRunningSimulator();
};

void PortListBoxTest::rebuildKeepsTheChosenPort_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<PortListBox::Unchosen>("unchosen");
    QTest::addColumn<QString>("chosenAfter");
    QTest::addColumn<PortListBox::Selection>("selection");

    using U = PortListBox::Unchosen;
    using S = PortListBox::Selection;
    const QStringList three{"COM1", "COM10", "COM3"};
    for (U unchosen : {U::LikelyInterface, U::NoPort}) {
        const QByteArray rule = unchosen == U::LikelyInterface ? "likely port: " : "no port: ";
        QTest::newRow(rule + "kept at a new place")
            << QStringList{"COM10", "COM3"} << "COM3" << three << unchosen << "COM3" << S::Kept;
        QTest::newRow(rule + "chosen port gone")
            << QStringList{"COM10", "COM3"} << "COM10" << QStringList{"COM3"} << unchosen << ""
            << S::Gone;
        QTest::newRow(rule + "every port gone")
            << QStringList{"COM3"} << "COM3" << QStringList() << unchosen << "" << S::Gone;
        QTest::newRow(rule + "case matters")
            << QStringList{"ZA"} << "ZA" << QStringList{"za"} << unchosen << "" << S::Gone;
    }
    QTest::newRow("likely port: nothing chosen before")
        << QStringList() << "" << three << U::LikelyInterface << "COM10" << S::NoneBefore;
    QTest::newRow("likely port: none of them likely")
        << QStringList() << "" << QStringList{"COM1", "ttyS0"} << U::LikelyInterface << ""
        << S::NoneBefore;
    QTest::newRow("no port: nothing chosen before")
        << QStringList() << "" << three << U::NoPort << "" << S::NoneBefore;
    QTest::newRow("likely port: nothing chosen from a listed port")
        << QStringList{"COM3"} << "" << three << U::LikelyInterface << "COM10"
        << S::NoneBefore;
    QTest::newRow("likely port: the user's choice of an unlikely one stays")
        << QStringList{"ttyS0", "ttyUSB0"} << "ttyS0" << QStringList{"ttyS0", "ttyUSB0", "ttyUSB1"}
        << U::LikelyInterface << "ttyS0" << S::Kept;
    QTest::newRow("no port: nothing chosen from a listed port")
        << QStringList{"COM3"} << "" << three << U::NoPort << "" << S::NoneBefore;
}

void PortListBoxTest::rebuildKeepsTheChosenPort()
{
    QFETCH(QStringList, before);
    QFETCH(QString, chosen);
    QFETCH(QStringList, after);
    QFETCH(PortListBox::Unchosen, unchosen);
    QFETCH(QString, chosenAfter);
    QFETCH(PortListBox::Selection, selection);
#ifndef _WIN32
    // An empty port map: no virtual port of the machine's takes part.
    PrivateRuntimeDir runtime;
#endif

    QComboBox box;
    box.addItems(before);
    box.setCurrentIndex(before.indexOf(chosen));
    QCOMPARE(box.currentText(), chosen);

    QCOMPARE(PortListBox::rebuild(box, after, unchosen), selection);
    QCOMPARE(items(box), after);
    QCOMPARE(box.currentText(), chosenAfter);
    QCOMPARE(box.currentIndex(), after.indexOf(chosenAfter));
}

void PortListBoxTest::namesComeFromTheSystemsEncoding()
{
    const std::string umlaut = QStringLiteral("COM\u00c4").toLocal8Bit().toStdString();
    QCOMPARE(PortListBox::names({"COM1", umlaut, "/dev/ttyUSB0"}),
             (QStringList{"COM1", QStringLiteral("COM\u00c4"), "/dev/ttyUSB0"}));
    QVERIFY(PortListBox::names({}).isEmpty());
}

void PortListBoxTest::likelyInterface_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("virtualPorts");
    QTest::addColumn<QString>("likely");

    const QStringList none;
    QTest::newRow("no port") << none << none << "";
    QTest::newRow("the PC's own ports only") << QStringList{"ttyS0", "ttyS1"} << none << "";
    QTest::newRow("a USB serial adapter") << QStringList{"ttyS0", "ttyUSB0"} << none << "ttyUSB0";
    QTest::newRow("the first USB serial port")
        << QStringList{"ttyACM0", "ttyS0", "ttyUSB0"} << none << "ttyACM0";
    QTest::newRow("the running simulator before an adapter")
        << QStringList{"ttyS0", "ttySIM0", "ttyUSB0"} << QStringList{"ttySIM0"} << "ttySIM0";
    QTest::newRow("the first virtual port listed")
        << QStringList{"ZB", "ZC", "ttyS0"} << QStringList{"ZC", "ZB"} << "ZB";
    QTest::newRow("a virtual port no longer listed")
        << QStringList{"ttyS0", "ttyUSB1"} << QStringList{"ttySIM0"} << "ttyUSB1";
    QTest::newRow("a kernel name without its number")
        << QStringList{"ttyUSB", "ttyACMx", "ttyS0"} << none << "";
    QTest::newRow("Windows: the board's own ports only") << QStringList{"COM1", "COM2"} << none
                                                         << "";
    QTest::newRow("Windows: the highest number, not the last by name")
        << QStringList{"COM1", "COM10", "COM3"} << none << "COM10";
    QTest::newRow("Windows: one adapter beside the board's port")
        << QStringList{"COM1", "COM4"} << none << "COM4";
    QTest::newRow("Windows: a name that is no COM port name")
        << QStringList{"com5", "COM05", "COM", "COMX"} << none << "";
    QTest::newRow("a USB serial port before a COM number")
        << QStringList{"COM7", "ttyUSB0"} << none << "ttyUSB0";
}

void PortListBoxTest::likelyInterface()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, virtualPorts);
    QFETCH(QString, likely);
    QCOMPARE(PortListBox::likelyInterface(ports, virtualPorts), likely);
}

// The rebuild asks the port map itself: a simulator's entry is offered before
// the machine's own ports.
void PortListBoxTest::rebuildOffersTheRunningSimulator()
{
#ifdef _WIN32
    QSKIP("the port map is Linux's");
#else
    PrivateRuntimeDir runtime;
    PtyPair line;
    QVERIFY(line.isOpen());
    QVERIFY(ZORVI::Communication::Serial::PortMap::add("ttySIM3", line.slavePath()));
    QCOMPARE(PortListBox::virtualPorts(), QStringList{"ttySIM3"});

    QComboBox box;
    const QStringList listed{"ttyS0", "ttySIM3", "ttyUSB0"};
    QCOMPARE(PortListBox::rebuild(box, listed, PortListBox::Unchosen::LikelyInterface),
             PortListBox::Selection::NoneBefore);
    QCOMPARE(box.currentText(), QStringLiteral("ttySIM3"));
    QVERIFY(ZORVI::Communication::Serial::PortMap::remove("ttySIM3"));
    QVERIFY(PortListBox::virtualPorts().isEmpty());
#endif
}

QTEST_MAIN(PortListBoxTest)
#include "PortListBoxTest.moc"
