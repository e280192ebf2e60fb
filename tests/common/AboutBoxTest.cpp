// The about box of both programs: what each program's box shows, read the
// way the programs read it (the program's version as the window hands it in,
// the communication library's information from the device link), and its
// life as a window-modal dialog that deletes itself.
#include "AboutBox.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QtTest>

namespace {

const QString BUILD_DATE = QStringLiteral("Aug 16 2012");

QString labelText(const AboutBox& box, const char* name)
{
    const auto* label = box.findChild<QLabel*>(QLatin1String(name));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(QLatin1String(name));
}

// Opens the box over a window (either program's main window) as both
// programs do.
AboutBox* openAbout(QMainWindow& window, AboutBox::Program program,
                    const QString& programVersion, const QString& programDate = BUILD_DATE)
{
    auto* box = new AboutBox(program, AboutBox::versionsOf(programVersion, programDate), &window,
                             Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint);
    box->show();
    return box;
}

} // namespace

Q_DECLARE_METATYPE(AboutBox::Program)

class AboutBoxTest : public QObject {
    Q_OBJECT

private slots:
    void showsEachProgramsTextsAndVersions_data();
    void showsEachProgramsTextsAndVersions();
    void blocksTheMainWindowAndDeletesItselfWhenClosed_data();
    void blocksTheMainWindowAndDeletesItselfWhenClosed();
};

void AboutBoxTest::showsEachProgramsTextsAndVersions_data()
{
    QTest::addColumn<AboutBox::Program>("program");
    QTest::addColumn<QString>("programVersion");
    QTest::addColumn<QString>("programDate");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("versionCaption");
    QTest::addColumn<QSize>("size");

    QTest::newRow("settings program")
        << AboutBox::Program::Settings << "3.0.2" << BUILD_DATE << "About ZORVIK Micro Settings"
        << "TR6400QK Micro Settings" << "TR6400QK Micro Settings Version:" << QSize(408, 247);
    QTest::newRow("updater")
        << AboutBox::Program::Updater << "1.0.6" << BUILD_DATE << "About ZORVIK Updater"
        << "ZORVIK Updater" << "ZORVIK Updater Version:" << QSize(368, 247);
    // A program date unlike the library's shows which label gets which.
    QTest::newRow("program built on another day")
        << AboutBox::Program::Updater << "1.0.6" << "Sep 3 2012" << "About ZORVIK Updater"
        << "ZORVIK Updater" << "ZORVIK Updater Version:" << QSize(368, 247);
}

void AboutBoxTest::showsEachProgramsTextsAndVersions()
{
    QFETCH(AboutBox::Program, program);
    QFETCH(QString, programVersion);
    QFETCH(QString, programDate);
    QFETCH(QString, title);
    QFETCH(QString, name);
    QFETCH(QString, versionCaption);
    QFETCH(QSize, size);

    QMainWindow window;
    QPointer<AboutBox> box = openAbout(window, program, programVersion, programDate);

    QCOMPARE(box->objectName(), QStringLiteral("AboutBoxClass"));
    QCOMPARE(box->windowTitle(), title);
    QCOMPARE(labelText(*box, "label"), name);
    QCOMPARE(labelText(*box, "label_6"), versionCaption);
    QCOMPARE(labelText(*box, "m_lblUpdaterVersion"), programVersion);
    QCOMPARE(labelText(*box, "m_lblUpdaterDate"), programDate);
    QCOMPARE(labelText(*box, "m_lblZORVICommVersion"), QStringLiteral("3.1.0"));
    QCOMPARE(labelText(*box, "m_lblZORVICommDate"), BUILD_DATE);
    // The designed size, grown only where this platform's fonts need more
    // room: every text can be read in full.
    QCOMPARE(box->width(), qMax(size.width(), box->minimumSizeHint().width()));
    QVERIFY(box->height() >= size.height());
    QTRY_VERIFY(box->isVisible());
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        QVERIFY2(box->rect().contains(QRect(label->mapTo(box.data(), QPoint()), label->size())),
                 qPrintable(label->objectName()));
        if (label->wordWrap())
            QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                     qPrintable(label->objectName()));
    }

    // The logo comes from the program's compiled-in images.
    const auto* logo = box->findChild<QLabel*>(QStringLiteral("label_2"));
    QVERIFY(logo);
    QCOMPARE(logo->pixmap().size(), QSize(48, 48));
    delete box;
}

void AboutBoxTest::blocksTheMainWindowAndDeletesItselfWhenClosed_data()
{
    QTest::addColumn<bool>("pressOk");
    QTest::newRow("OK button") << true;
    QTest::newRow("window close") << false;
}

void AboutBoxTest::blocksTheMainWindowAndDeletesItselfWhenClosed()
{
    QFETCH(bool, pressOk);
    const QString programVersion = QStringLiteral("3.0.2");
    QMainWindow window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QPointer<AboutBox> box = openAbout(window, AboutBox::Program::Settings, programVersion);
    QCOMPARE(box->windowModality(), Qt::WindowModal);
    QCOMPARE(QApplication::activeModalWidget(), box.data());

    if (pressOk) {
        auto* ok = box->findChild<QPushButton*>(QStringLiteral("okButton"));
        QVERIFY(ok);
        QTest::mouseClick(ok, Qt::LeftButton);
    } else {
        QVERIFY(box->close());
    }
    QTRY_VERIFY(box.isNull());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);

    // Every opening is a new box.
    QPointer<AboutBox> second = openAbout(window, AboutBox::Program::Settings, programVersion);
    QVERIFY(second);
    QCOMPARE(QApplication::activeModalWidget(), second.data());
    second->close();
    QTRY_VERIFY(second.isNull());
}

QTEST_MAIN(AboutBoxTest)
#include "AboutBoxTest.moc"
