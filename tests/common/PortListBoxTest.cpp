// The windows' port box rebuilt from a new port list: the chosen port stays
// chosen while it is listed, and each window's rule for a box with nothing
// chosen holds.
#include "PortListBox.h"

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
    for (U unchosen : {U::FirstPort, U::NoPort}) {
        const QByteArray rule = unchosen == U::FirstPort ? "first port: " : "no port: ";
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
    QTest::newRow("first port: nothing chosen before")
        << QStringList() << "" << three << U::FirstPort << "COM1" << S::NoneBefore;
    QTest::newRow("no port: nothing chosen before")
        << QStringList() << "" << three << U::NoPort << "" << S::NoneBefore;
    QTest::newRow("first port: nothing chosen from a listed port")
        << QStringList{"COM3"} << "" << three << U::FirstPort << "COM1" << S::NoneBefore;
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

QTEST_MAIN(PortListBoxTest)
#include "PortListBoxTest.moc"
