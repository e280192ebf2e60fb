// The windows' controller traces the link only when the zorvik.link
// category is on: then opening a port gives debug messages in that
// category, otherwise none.
#include "Control.h"
#include "LinkTrace.h"
#include "PortMap.h"
#include "PrivateRuntimeDir.h"
#include "PtyPair.h"

#include <QLoggingCategory>
#include <QStringList>
#include <QtTest>

#include <memory>

using ZORVI::Control;
using ZORVI::LinkTrace;
using ZORVI::Communication::Serial::PortMap;

namespace {

// The messages of the zorvik.link category, gathered by a message handler.
QStringList g_linkMessages;

void gatherLinkMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtDebugMsg && QLatin1String(context.category) == QLatin1String("zorvik.link"))
        g_linkMessages << text;
}

} // namespace

class LinkTraceTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup();
    void tracesOnlyWhenTheCategoryIsOn_data();
    void tracesOnlyWhenTheCategoryIsOn();
};

void LinkTraceTest::cleanup()
{
    qInstallMessageHandler(nullptr);
    QLoggingCategory::setFilterRules(QString());
    g_linkMessages.clear();
}

void LinkTraceTest::tracesOnlyWhenTheCategoryIsOn_data()
{
    QTest::addColumn<QString>("rules");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("off by default") << QString() << QStringList();
    QTest::newRow("switched off") << QStringLiteral("zorvik.link.debug=false") << QStringList();
    QTest::newRow("switched on") << QStringLiteral("zorvik.link.debug=true")
                                 << QStringList{QStringLiteral("open %1 mode 1: ok"),
                                                QStringLiteral("close")};
}

void LinkTraceTest::tracesOnlyWhenTheCategoryIsOn()
{
    QFETCH(QString, rules);
    QFETCH(QStringList, expected);

    PrivateRuntimeDir runtime;
    QVERIFY(runtime.isReady());
    PtyPair pty;
    QVERIFY(pty.isOpen());
    const std::string portName = PrivateRuntimeDir::uniquePortName("ttyLINKTRACE");
    QVERIFY(PortMap::add(portName, pty.slavePath()));

    QLoggingCategory::setFilterRules(rules);
    qInstallMessageHandler(gatherLinkMessages);
    const std::unique_ptr<Control> control = LinkTrace::makeControl();
    QVERIFY(control->testInterface(portName.c_str()));
    control->close();
    qInstallMessageHandler(nullptr);
    PortMap::remove(portName);

    QStringList events;
    for (const QString& message : g_linkMessages)
        events << message.section(QLatin1Char(' '), 1, -1, QString::SectionSkipEmpty);
    QStringList wanted;
    for (const QString& line : expected)
        wanted << (line.contains(QLatin1String("%1")) ? line.arg(QString::fromStdString(portName))
                                                       : line);
    QCOMPARE(events, wanted);
}

QTEST_GUILESS_MAIN(LinkTraceTest)
#include "LinkTraceTest.moc"
