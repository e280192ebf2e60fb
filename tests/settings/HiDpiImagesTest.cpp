// The pictures of both programs at the scale the test runs with
// (QT_SCALE_FACTOR, 1 or 2; the test is registered once for each): the side
// pictures of both windows, the icons of the settings window's preset lists
// and the about box's logo each show the rendering made for that scale
// ("name@2x.png" at 2), marked with the screen's device pixel ratio so that
// it covers the picture's size in points, never the small one blown up.

#include "AboutBox.h"
#include "ZORVIKMiniSetup.h"
#include "ZORVIKUpdater.h"

#include <QApplication>
#include <QComboBox>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QPixmap>
#include <QTest>

#include <memory>

using ZORVI::ZORVIKMiniSetup;
using ZORVI::ZORVIKUpdater;

namespace {

const QString SETTINGS_IMAGES = QStringLiteral(":/Images/Resources/");
const QString UPDATER_IMAGES = QStringLiteral(":/Images/");

// The six markers of the preset lists.
const QStringList MARKERS{"black", "purp", "red-bl", "red", "blue-bl", "blue"};

enum class Window { Settings, Updater };

qreal screenRatio()
{
    return qApp->devicePixelRatio();
}

// Pixmaps keep premultiplied pixels: compare in that form.
QImage argb(const QImage& image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// The file rendered for the screen's ratio: the one named at 1, its @2x
// rendering at 2.
QString renderingFor(const QString& path)
{
    if (screenRatio() == 1.0)
        return path;
    QString scaled = path;
    return scaled.replace(QLatin1String(".png"), QLatin1String("@2x.png"));
}

// What a widget shows for the picture at path is the rendering for the
// screen's ratio, pixel for pixel, marked with that ratio.
void checkShown(const QPixmap& shown, const QString& path, const QString& where)
{
    const QImage expected(renderingFor(path));
    QVERIFY2(!expected.isNull(), qPrintable(renderingFor(path) + " missing"));
    const QSize pointSize = QImageReader(path).size();
    QVERIFY2(pointSize.isValid(), qPrintable(path + " missing"));
    QVERIFY2(shown.devicePixelRatio() == screenRatio(),
             qPrintable(QStringLiteral("%1: ratio %2").arg(where).arg(shown.devicePixelRatio())));
    QCOMPARE(shown.size(), pointSize * screenRatio());
    QVERIFY2(argb(shown.toImage()) == argb(expected), qPrintable(where + ": other pixels"));
}

// The marker whose picture at its size in points is image, or an empty name.
QString markerShowing(const QImage& image)
{
    for (const QString& marker : MARKERS)
        if (argb(QImage(SETTINGS_IMAGES + marker + QStringLiteral(".png"))) == argb(image))
            return marker;
    return QString();
}

} // namespace

Q_DECLARE_METATYPE(Window)
Q_DECLARE_METATYPE(AboutBox::Program)

class HiDpiImagesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sideImages_data();
    void sideImages();
    void presetListIcons();
    void aboutBoxLogos_data();
    void aboutBoxLogos();
};

// The scale the test is registered with reaches the screen, so that a run
// at 2 cannot pass by showing everything at 1.
void HiDpiImagesTest::initTestCase()
{
    const qreal requested = qEnvironmentVariable("QT_SCALE_FACTOR", QStringLiteral("1")).toDouble();
    QCOMPARE(screenRatio(), requested);
}

void HiDpiImagesTest::sideImages_data()
{
    QTest::addColumn<Window>("window");
    QTest::addColumn<QString>("labelName");
    QTest::addColumn<QString>("path");
    QTest::newRow("settings window") << Window::Settings << "SideImage"
                                     << SETTINGS_IMAGES + QStringLiteral("TR6400QK.png");
    QTest::newRow("updater window") << Window::Updater << "label_2"
                                    << UPDATER_IMAGES + QStringLiteral("TR6400QK.png");
}

void HiDpiImagesTest::sideImages()
{
    QFETCH(Window, window);
    QFETCH(QString, labelName);
    QFETCH(QString, path);
    std::unique_ptr<QWidget> shown;
    if (window == Window::Settings)
        shown = std::make_unique<ZORVIKMiniSetup>();
    else
        shown = std::make_unique<ZORVIKUpdater>();
    shown->show();
    QVERIFY(QTest::qWaitForWindowExposed(shown.get()));
    auto* label = shown->findChild<QLabel*>(labelName);
    QVERIFY(label);
    checkShown(label->pixmap(), path, labelName);
    // The layout keeps the picture's size in points at any scale.
    QCOMPARE(label->sizeHint(), QImageReader(path).size());
}

// Each item's icon as the list draws it: at the list's icon size and its
// device pixel ratio.
void HiDpiImagesTest::presetListIcons()
{
    ZORVIKMiniSetup window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    int icons = 0;
    for (QComboBox* list : window.findChildren<QComboBox*>()) {
        for (int i = 0; i < list->count(); ++i) {
            const QIcon icon = list->itemIcon(i);
            if (icon.isNull())
                continue;
            const QString where = list->objectName() + QStringLiteral(" item ") + QString::number(i);
            const QString marker = markerShowing(icon.pixmap(list->iconSize(), 1.0).toImage());
            QVERIFY2(!marker.isEmpty(), qPrintable(where + ": no marker"));
            checkShown(icon.pixmap(list->iconSize(), list->devicePixelRatio()),
                       SETTINGS_IMAGES + marker + QStringLiteral(".png"), where);
            if (QTest::currentTestFailed())
                return;
            ++icons;
        }
    }
    // Nine lists of six markers and one of four.
    QCOMPARE(icons, 58);
}

void HiDpiImagesTest::aboutBoxLogos_data()
{
    QTest::addColumn<AboutBox::Program>("program");
    QTest::addColumn<QString>("path");
    QTest::newRow("settings program") << AboutBox::Program::Settings
                                      << SETTINGS_IMAGES + QStringLiteral("zorvik_48x48.png");
    QTest::newRow("updater") << AboutBox::Program::Updater
                             << UPDATER_IMAGES + QStringLiteral("zorvik_48x48.png");
}

void HiDpiImagesTest::aboutBoxLogos()
{
    QFETCH(AboutBox::Program, program);
    QFETCH(QString, path);
    AboutBox box(program, AboutBox::versionsOf(QStringLiteral("1.0.0"), QStringLiteral("Aug 16 2012")),
                 nullptr);
    box.setAttribute(Qt::WA_DeleteOnClose, false);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    auto* logo = box.findChild<QLabel*>(QStringLiteral("label_2"));
    QVERIFY(logo);
    checkShown(logo->pixmap(), path, QStringLiteral("logo"));
}

QTEST_MAIN(HiDpiImagesTest)
#include "HiDpiImagesTest.moc"
