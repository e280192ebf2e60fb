// The settings window rendered offscreen under a light and two dark colour
// schemes: the group letters on their orange, the captions beside them and
// every part of the swash plate visualizer must stand out from what they are
// drawn on, measured from the rendered pixels as WCAG contrast ratios (4.5:1
// for text, 3:1 for lines and dots).

#include "SwashPlate.h"
#include "ZORVIKMiniSetup.h"

#include <QApplication>
#include <QColor>
#include <QHash>
#include <QImage>
#include <QLabel>
#include <QList>
#include <QPalette>
#include <QStringList>
#include <QStyle>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <memory>

using ZORVI::ZORVIKMiniSetup;

namespace {

constexpr double TEXT_CONTRAST = 4.5;
constexpr double LINE_CONTRAST = 3.0;
// A text's colour is that of its fully covered pixels: a colour that only a
// few antialiased edge pixels share does not count for it.
constexpr int TEXT_MINIMUM_PIXELS = 5;

// WCAG 2 relative luminance of an sRGB colour.
double luminance(QRgb rgb)
{
    const auto linear = [](int channel) {
        const double c = channel / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * linear(qRed(rgb)) + 0.7152 * linear(qGreen(rgb)) + 0.0722 * linear(qBlue(rgb));
}

double contrast(QRgb first, QRgb second)
{
    const double a = luminance(first);
    const double b = luminance(second);
    return (qMax(a, b) + 0.05) / (qMin(a, b) + 0.05);
}

// What an area of the rendering shows: its most frequent colour as the
// background, and the colour that stands out from it most among those
// covering at least minimumPixels pixels as the ink.
struct Measured {
    QRgb background = 0;
    QRgb ink = 0;
    double ratio = 1.0;
    int inkPixels = 0;

    QString describe(const QString& what) const
    {
        return QStringLiteral("%1: %2 on %3 is %4:1")
            .arg(what, QColor(ink).name(), QColor(background).name())
            .arg(ratio, 0, 'f', 2);
    }
};

Measured measure(const QImage& area, QRgb background, int minimumPixels)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            ++counts[area.pixel(x, y) | 0xff000000u];
    Measured measured;
    measured.background = background;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        const double ratio = contrast(it.key(), background);
        if (it.value() >= minimumPixels && ratio > measured.ratio) {
            measured.ink = it.key();
            measured.ratio = ratio;
        }
        if (it.key() != background)
            measured.inkPixels += it.value();
    }
    return measured;
}

QRgb dominantColour(const QImage& area)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x)
            ++counts[area.pixel(x, y) | 0xff000000u];
    QRgb most = 0;
    int mostCount = -1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > mostCount) {
            most = it.key();
            mostCount = it.value();
        }
    }
    return most;
}

// A dark scheme as a desktop hands it to Qt: light text on dark grey, the
// views a little darker than the window, disabled text dimmed.
QPalette darkPalette(QColor window, QColor text, QColor view)
{
    QPalette palette(window, window);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        palette.setColor(group, QPalette::WindowText, text);
        palette.setColor(group, QPalette::Text, text);
        palette.setColor(group, QPalette::ButtonText, text);
        palette.setColor(group, QPalette::Base, view);
        palette.setColor(group, QPalette::AlternateBase, window);
        palette.setColor(group, QPalette::ToolTipBase, view);
        palette.setColor(group, QPalette::ToolTipText, text);
        palette.setColor(group, QPalette::Highlight, QColor(61, 174, 233));
        palette.setColor(group, QPalette::HighlightedText, text);
    }
    const QColor dimmed(128, 128, 128);
    palette.setColor(QPalette::Disabled, QPalette::WindowText, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::Text, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, dimmed);
    palette.setColor(QPalette::Disabled, QPalette::Base, window);
    return palette;
}

// The header rows of both pages: each group's letter and its caption.
struct HeaderRow {
    const char* page;
    const char* letter;
    const char* caption;
};

const HeaderRow HEADER_ROWS[] = {
    {"m_tabSetupMenu", "label_28", "label_29"},     {"m_tabSetupMenu", "label_30", "label_31"},
    {"m_tabSetupMenu", "label_32", "label_33"},     {"m_tabSetupMenu", "label_16", "label_17"},
    {"m_tabParameterMenu", "label_36", "label_37"}, {"m_tabParameterMenu", "label_38", "label_39"},
    {"m_tabParameterMenu", "label_40", "label_41"}, {"m_tabParameterMenu", "label_19", "label_20"},
    {"m_tabParameterMenu", "label_24", "label_25"}, {"m_tabParameterMenu", "label_26", "label_27"},
};

// Two pictures of the visualizer at 150 x 150 and their parts, each in a box
// that holds nothing else. The untouched "120 degree" plate: the double
// arrow's shaft at the left edge, the dotted ring (radius 45) at its top and
// lower left, servo 1's spoke half-way down and its dot at the spoke's end.
// The square "140 degree (1=1)" plate: its dotted outline's top side.
struct PlatePart {
    const char* name;
    QRect box;
};

struct PlatePicture {
    const char* name;
    SwashPlate::Shape shape;
    QList<PlatePart> parts;
};

const PlatePicture PLATE_PICTURES[] = {
    {"120 degrees",
     {120, 0, 0, {1000, 1000, 1000}},
     {{"double arrow", QRect(12, 30, 7, 90)},
      {"ring at the top", QRect(72, 27, 7, 7)},
      {"ring at the lower left", QRect(33, 94, 7, 7)},
      {"spoke", QRect(72, 90, 7, 10)},
      {"dot", QRect(71, 116, 9, 9)}}},
    {"140 degrees (1=1)", {135, 1, 0, {1000, 1414, 1414}}, {{"outline", QRect(60, 27, 30, 7)}}},
};

} // namespace

class ContrastTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void headerRows_data();
    void headerRows();
    void swashPlate_data();
    void swashPlate();

private:
    void addPalettes();
    // The window under the row's palette, its pages usable (as once a
    // device is connected), shown on the given page.
    std::unique_ptr<ZORVIKMiniSetup> showWindow(const char* page);
    QImage renderingOf(ZORVIKMiniSetup& window, QWidget* part);

    QPalette m_startPalette;
};

void ContrastTest::initTestCase()
{
    m_startPalette = QApplication::palette();
    // Without fonts every glyph is a box and the text colours measured would
    // not be those of letters.
    const QFontMetrics metrics(QApplication::font());
    QVERIFY(metrics.horizontalAdvance(QStringLiteral("iiii"))
            < metrics.horizontalAdvance(QStringLiteral("WWWW")));
}

void ContrastTest::cleanup()
{
    QApplication::setPalette(m_startPalette);
}

void ContrastTest::addPalettes()
{
    QTest::addColumn<QPalette>("palette");
    QTest::newRow("light") << QApplication::style()->standardPalette();
    QTest::newRow("Breeze Dark")
        << darkPalette(QColor(49, 54, 59), QColor(252, 252, 252), QColor(35, 38, 41));
    QTest::newRow("Adwaita Dark")
        << darkPalette(QColor(53, 53, 53), QColor(238, 238, 236), QColor(45, 45, 45));
}

std::unique_ptr<ZORVIKMiniSetup> ContrastTest::showWindow(const char* page)
{
    QFETCH(QPalette, palette);
    QApplication::setPalette(palette);
    auto window = std::make_unique<ZORVIKMiniSetup>();
    auto* tabs = window->findChild<QTabWidget*>(QStringLiteral("m_tabControl"));
    auto* shownPage = window->findChild<QWidget*>(QLatin1String(page));
    if (!tabs || !shownPage)
        return nullptr;
    tabs->setEnabled(true);
    tabs->setCurrentWidget(shownPage);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        return nullptr;
    return window;
}

// The part as the window shows it, on whatever lies behind it.
QImage ContrastTest::renderingOf(ZORVIKMiniSetup& window, QWidget* part)
{
    const QImage whole = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRect area(part->mapTo(&window, QPoint(0, 0)), part->size());
    return whole.copy(QRect(area.topLeft() * whole.devicePixelRatio(),
                            area.size() * whole.devicePixelRatio()));
}

void ContrastTest::headerRows_data()
{
    addPalettes();
}

void ContrastTest::headerRows()
{
    QStringList failures;
    for (const char* page : {"m_tabSetupMenu", "m_tabParameterMenu"}) {
        const auto window = showWindow(page);
        QVERIFY(window);
        for (const HeaderRow& row : HEADER_ROWS) {
            if (qstrcmp(row.page, page) != 0)
                continue;
            for (const char* name : {row.letter, row.caption}) {
                auto* label = window->findChild<QLabel*>(QLatin1String(name));
                QVERIFY2(label, name);
                const QImage shown = renderingOf(*window, label);
                const Measured text = measure(shown, dominantColour(shown), TEXT_MINIMUM_PIXELS);
                const QString where = text.describe(QLatin1String(name));
                qInfo("%s", qPrintable(where));
                // Some text was drawn at all: more than a few stray pixels.
                QVERIFY2(text.inkPixels > 20, qPrintable(where));
                if (text.ratio < TEXT_CONTRAST)
                    failures.append(where);
            }
        }
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1String("; "))));
}

void ContrastTest::swashPlate_data()
{
    addPalettes();
}

void ContrastTest::swashPlate()
{
    const auto window = showWindow("m_tabSetupMenu");
    QVERIFY(window);
    auto* plate = window->findChild<SwashPlate*>(QStringLiteral("m_SwashPlate"));
    QVERIFY(plate);
    QCOMPARE(plate->size(), QSize(150, 150));
    QStringList failures;
    for (const PlatePicture& picture : PLATE_PICTURES) {
        plate->setShape(picture.shape);
        const QImage shown = renderingOf(*window, plate);
        const QRgb background = dominantColour(shown);
        for (const PlatePart& part : picture.parts) {
            const Measured line = measure(shown.copy(part.box), background, 1);
            const QString where =
                line.describe(QStringLiteral("%1, %2").arg(QLatin1String(picture.name), QLatin1String(part.name)));
            qInfo("%s", qPrintable(where));
            QVERIFY2(line.inkPixels > 0, qPrintable(where));
            if (line.ratio < LINE_CONTRAST)
                failures.append(where);
        }
    }
    QVERIFY2(failures.isEmpty(), qPrintable(failures.join(QLatin1String("; "))));
}

QTEST_MAIN(ContrastTest)
#include "ContrastTest.moc"
