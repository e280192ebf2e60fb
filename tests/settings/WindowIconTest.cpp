// Both windows carry their own program's icon (what window lists and task
// bars show for them), and the two programs can be told apart by it.

#include "ZORVIKMiniSetup.h"
#include "ZORVIKUpdater.h"

#include <QIcon>
#include <QImage>
#include <QTest>

using ZORVI::ZORVIKMiniSetup;
using ZORVI::ZORVIKUpdater;

namespace {

constexpr int ICON_SIZE = 48;

QImage pictureOf(const QIcon& icon)
{
    return icon.pixmap(ICON_SIZE, ICON_SIZE).toImage().convertToFormat(QImage::Format_ARGB32);
}

} // namespace

class WindowIconTest : public QObject {
    Q_OBJECT

private slots:
    void eachProgramHasItsOwnIcon();
};

void WindowIconTest::eachProgramHasItsOwnIcon()
{
    // No icon for the whole program: each window must bring its own.
    QVERIFY(QGuiApplication::windowIcon().isNull());
    ZORVIKMiniSetup settings;
    ZORVIKUpdater updater;
    const QImage settingsIcon = pictureOf(settings.windowIcon());
    const QImage updaterIcon = pictureOf(updater.windowIcon());
    QVERIFY(!settingsIcon.isNull());
    QVERIFY(!updaterIcon.isNull());
    // Each shows its program's own picture: the ZORVIK logo (the about box's
    // picture) for the settings program, the logo with its download badge
    // for the updater.
    QCOMPARE(settingsIcon, pictureOf(QIcon(QStringLiteral(":/Images/Resources/zorvik_48x48.png"))));
    QCOMPARE(updaterIcon, pictureOf(QIcon(QStringLiteral(":/Images/zorvik-updater_48x48.png"))));
    QVERIFY(updaterIcon != settingsIcon);
}

QTEST_MAIN(WindowIconTest)
#include "WindowIconTest.moc"
