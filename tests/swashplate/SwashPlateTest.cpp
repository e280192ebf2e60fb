// The swash plate visualizer drawn offscreen: the pictures it must give for
// the ring geometry, the square "140 ° (1=1)" plate and the collapsed
// mechanical mixer, and its behaviour when disabled or too small.
#include "SwashPlate.h"

#include <QEvent>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QStringList>
#include <QtMath>
#include <QtTest>

#include <cmath>
#include <cstdlib>
#include <functional>

Q_DECLARE_METATYPE(SwashPlate::Shape)

namespace {

constexpr int SIDE = 150;
constexpr int CENTRE = SIDE / 2;
// Left of this column only the double arrow may draw.
constexpr int ARROW_ZONE = 21;
// Some visible ink: more than antialiasing noise.
constexpr int INK = 16;
// Only the servo dots are drawn fully opaque; everything else lets the
// background through.
constexpr int OPAQUE_INK = 250;

// Calls each "slotName:value" on the plate through its meta-object, as the
// settings window's connections do.
void configure(SwashPlate& plate, const QStringList& calls)
{
    for (const QString& call : calls) {
        const QStringList parts = call.split(QLatin1Char(':'));
        QVERIFY2(parts.size() == 2, qPrintable(call));
        const QByteArray slot = parts[0].toLatin1();
        QVERIFY2(QMetaObject::invokeMethod(&plate, slot.constData(), Qt::DirectConnection,
                                           Q_ARG(int, parts[1].toInt())),
                 qPrintable(call));
    }
}

QImage draw(SwashPlate& plate)
{
    QImage image(plate.size(), QImage::Format_ARGB32);
    image.fill(Qt::white);
    plate.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// The pseudo-call "draw" draws the plate in between, so that a later
// picture shows whether drawing left anything behind.
QImage drawConfigured(const QStringList& calls, QSize size = QSize(SIDE, SIDE))
{
    SwashPlate plate;
    plate.setText(QStringLiteral("SwashPlate Visualizer"));
    plate.resize(size);
    for (const QString& call : calls) {
        if (call == QLatin1String("draw"))
            draw(plate);
        else
            configure(plate, {call});
    }
    return draw(plate);
}

int ink(const QImage& image, int x, int y)
{
    if (!image.rect().contains(x, y))
        return 0;
    return 255 - qGray(image.pixel(x, y));
}

int inkAround(const QImage& image, QPoint at, int radius = 1)
{
    int most = 0;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            most = qMax(most, ink(image, at.x() + dx, at.y() + dy));
    return most;
}

// Share of the pixels along a segment that carry ink within one pixel.
double coverage(const QImage& image, QPointF from, QPointF to)
{
    const int steps = qMax(1, qRound(std::hypot(to.x() - from.x(), to.y() - from.y())));
    int inked = 0;
    for (int step = 0; step <= steps; ++step) {
        const QPointF at = from + (to - from) * (double(step) / steps);
        if (inkAround(image, QPoint(qFloor(at.x()), qFloor(at.y()))) > INK)
            ++inked;
    }
    return double(inked) / (steps + 1);
}

// The plate's own angle convention: 0 points down, 90 to the left.
QPointF platePoint(double degrees, double radius)
{
    const double radians = qDegreesToRadians(degrees);
    return QPointF(CENTRE - std::sin(radians) * radius, CENTRE + std::cos(radians) * radius);
}

// Share of directions (away from the spokes) in which ink lies within one
// pixel of the given distance from the centre.
double ringCoverage(const QImage& image, double radius, const QList<int>& spokeAngles)
{
    int directions = 0;
    int inked = 0;
    for (int degrees = 0; degrees < 360; degrees += 2) {
        bool nearSpoke = false;
        for (int spoke : spokeAngles) {
            const int apart = std::abs(((degrees - spoke) % 360 + 540) % 360 - 180);
            nearSpoke = nearSpoke || apart < 15;
        }
        if (nearSpoke)
            continue;
        const QPointF at = platePoint(degrees, radius);
        if (at.x() < ARROW_ZONE + 2)
            continue;
        ++directions;
        if (inkAround(image, QPoint(qFloor(at.x()), qFloor(at.y()))) > INK)
            ++inked;
    }
    return double(inked) / directions;
}

// From the middle of pixel (x, y) to a point of the drawing.
double distance(int x, int y, QPoint point)
{
    return std::hypot(x + 0.5 - point.x(), y + 0.5 - point.y());
}

// Every opaque pixel belongs to one of the dots, and every dot is there.
void verifyDots(const QImage& image, const QList<QPoint>& dots)
{
    QList<bool> seen(dots.size(), false);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (ink(image, x, y) < OPAQUE_INK)
                continue;
            bool belongs = false;
            for (int i = 0; i < dots.size(); ++i) {
                if (distance(x, y, dots[i]) <= 4.0) {
                    belongs = true;
                    seen[i] = true;
                }
            }
            QVERIFY2(belongs, qPrintable(QStringLiteral("stray dot pixel at %1, %2").arg(x).arg(y)));
        }
    }
    for (int i = 0; i < dots.size(); ++i)
        QVERIFY2(seen[i], qPrintable(QStringLiteral("no dot at %1, %2").arg(dots[i].x()).arg(dots[i].y())));
}

// Counts the paint events the widget receives.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return QObject::eventFilter(watched, event);
    }
};

const QStringList GEOMETRY_120 = {QStringLiteral("setAngle:120"), QStringLiteral("setRatioCH1:1000"),
                                  QStringLiteral("setRatioCH2:1000"), QStringLiteral("setRatioCH3:1000"),
                                  QStringLiteral("setAspect:0")};
const QStringList GEOMETRY_140_SQUARE = {QStringLiteral("setAngle:135"), QStringLiteral("setRatioCH1:1000"),
                                         QStringLiteral("setRatioCH2:1414"), QStringLiteral("setRatioCH3:1414"),
                                         QStringLiteral("setAspect:1")};
const QStringList GEOMETRY_MECHANIC = {QStringLiteral("setAngle:90"), QStringLiteral("setRatioCH1:1000"),
                                       QStringLiteral("setRatioCH2:1000"), QStringLiteral("setRatioCH3:0"),
                                       QStringLiteral("setAspect:2")};

} // namespace

class SwashPlateTest : public QObject {
    Q_OBJECT

private slots:
    void spokeEndsCarryTheDots_data();
    void spokeEndsCarryTheDots();
    void ringsHaveTheSpokeLengthAsRadius_data();
    void ringsHaveTheSpokeLengthAsRadius();
    void squarePlateHasItsCornersOnTheDiagonals();
    void mechanicOutlineCollapsesToADottedLine();
    void disabledPlateDrawsOnlyTheArrow();
    void smallPlateDrawsTheDotsOnTheCentre_data();
    void smallPlateDrawsTheDotsOnTheCentre();
    void equivalentSettingsDrawTheSamePicture_data();
    void equivalentSettingsDrawTheSamePicture();
    void everySetterRepaintsAtOnce_data();
    void everySetterRepaintsAtOnce();
    void aWholeShapeRepaintsOnce_data();
    void aWholeShapeRepaintsOnce();
};

void SwashPlateTest::spokeEndsCarryTheDots_data()
{
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QList<QPoint>>("dots");

    // Spoke length 45 at 150 x 150: servo 1 down, servo 2 upper left, servo 3 upper right.
    QTest::newRow("120 degrees") << GEOMETRY_120
                                 << QList<QPoint>{{75, 120}, {37, 53}, {113, 53}};
    QTest::newRow("untouched plate draws the 120 degree picture")
        << QStringList() << QList<QPoint>{{75, 120}, {37, 53}, {113, 53}};
    QTest::newRow("140 degrees (1=1)") << GEOMETRY_140_SQUARE
                                       << QList<QPoint>{{75, 120}, {31, 31}, {119, 31}};
    QTest::newRow("mechanic: servo 3 on the centre") << GEOMETRY_MECHANIC
                                                     << QList<QPoint>{{75, 120}, {30, 75}, {75, 75}};
    QTest::newRow("negative phase angle turns clockwise")
        << (QStringList(GEOMETRY_120) << QStringLiteral("setVirtualRotation:-90"))
        << QList<QPoint>{{120, 75}, {53, 113}, {53, 37}};
    QTest::newRow("half length spoke")
        << (QStringList(GEOMETRY_120) << QStringLiteral("setRatioCH1:500"))
        << QList<QPoint>{{75, 97}, {37, 53}, {113, 53}};
}

void SwashPlateTest::spokeEndsCarryTheDots()
{
    QFETCH(QStringList, calls);
    QFETCH(QList<QPoint>, dots);
    const QImage image = drawConfigured(calls);
    verifyDots(image, dots);
    // The spokes themselves: half-way out to each dot there is ink.
    for (QPoint dot : dots) {
        const QPoint middle((CENTRE + dot.x()) / 2, (CENTRE + dot.y()) / 2);
        if (dot != QPoint(CENTRE, CENTRE))
            QVERIFY(inkAround(image, middle) > INK);
    }
}

void SwashPlateTest::ringsHaveTheSpokeLengthAsRadius_data()
{
    QTest::addColumn<QStringList>("calls");
    QTest::addColumn<QList<double>>("radii");

    QTest::newRow("equal ratios: one circle of diameter 90") << GEOMETRY_120 << QList<double>{45};
    QTest::newRow("servo 2 at half ratio adds a half circle")
        << (QStringList(GEOMETRY_120) << QStringLiteral("setRatioCH2:500")) << QList<double>{45, 22.5};
    QTest::newRow("ratio 1414 widens servo 3's ring")
        << (QStringList(GEOMETRY_120) << QStringLiteral("setRatioCH3:1414"))
        << QList<double>{45, 63.5};
}

void SwashPlateTest::ringsHaveTheSpokeLengthAsRadius()
{
    QFETCH(QStringList, calls);
    QFETCH(QList<double>, radii);
    const QImage image = drawConfigured(calls);
    const QList<int> spokes = {0, 120, 240};

    for (double radius : radii)
        QVERIFY2(ringCoverage(image, radius, spokes) > 0.25, qPrintable(QString::number(radius)));
    for (double radius = 14; radius <= 70; radius += 1) {
        bool nearRing = false;
        for (double ring : radii)
            nearRing = nearRing || std::abs(radius - ring) < 4;
        if (!nearRing)
            QVERIFY2(ringCoverage(image, radius, spokes) == 0.0, qPrintable(QString::number(radius)));
    }
}

void SwashPlateTest::squarePlateHasItsCornersOnTheDiagonals()
{
    const QImage image = drawConfigured(GEOMETRY_140_SQUARE);
    // Corners at 135, 225, 315 and 45 degrees, half-diagonal 63.
    const QList<QPoint> corners = {{30, 30}, {119, 30}, {119, 119}, {30, 119}};
    for (int i = 0; i < corners.size(); ++i) {
        const QPoint from = corners[i];
        const QPoint to = corners[(i + 1) % corners.size()];
        QVERIFY(inkAround(image, from) > INK);
        QVERIFY2(coverage(image, from, to) > 0.3, qPrintable(QString::number(i)));
    }
    // Beyond the corners, and where a ring of radius 45 would pass between
    // the spokes, there is nothing.
    for (QPointF empty : {platePoint(45, 72), platePoint(225, 72), platePoint(315, 72),
                          platePoint(30, 45), platePoint(60, 45), platePoint(300, 45),
                          platePoint(330, 45)})
        QVERIFY2(inkAround(image, empty.toPoint(), 2) == 0,
                 qPrintable(QStringLiteral("ink at %1, %2").arg(empty.x()).arg(empty.y())));
}

void SwashPlateTest::mechanicOutlineCollapsesToADottedLine()
{
    const QImage image = drawConfigured(GEOMETRY_MECHANIC);
    // Right of the centre only the outline draws along servo 2's axis:
    // dashes with gaps between them.
    QVERIFY(coverage(image, QPointF(80, 75), QPointF(117, 75)) > 0.25);
    int darkest = 0;
    int lightest = 255;
    for (int x = 80; x <= 117; ++x) {
        const int here = qMax(ink(image, x, 74), ink(image, x, 75));
        darkest = qMax(darkest, here);
        lightest = qMin(lightest, here);
    }
    QVERIFY(darkest > INK);
    QVERIFY(lightest <= 2);
    // Left of the centre the outline lies exactly on servo 2's spoke: its
    // single-precision corner at 90 degrees lands on the centre's row.
    for (int x = 36; x <= 70; ++x) {
        QCOMPARE(ink(image, x, 73), 0);
        QCOMPARE(ink(image, x, 76), 0);
    }
    // No extent across the axis: nothing above or below the line, no ring.
    QCOMPARE(coverage(image, QPointF(35, 65), QPointF(117, 65)), 0.0);
    QCOMPARE(coverage(image, QPointF(35, 85), QPointF(70, 85)), 0.0);
    QCOMPARE(coverage(image, QPointF(80, 85), QPointF(117, 85)), 0.0);
    QCOMPARE(inkAround(image, QPoint(75, 30), 2), 0);
}

void SwashPlateTest::disabledPlateDrawsOnlyTheArrow()
{
    SwashPlate plate;
    plate.setText(QStringLiteral("SwashPlate Visualizer"));
    plate.resize(SIDE, SIDE);
    plate.setEnabled(false);
    configure(plate, GEOMETRY_120);
    const QImage image = draw(plate);

    for (int y = 20; y <= SIDE - 20; ++y)
        QVERIFY2(ink(image, 15, y) > 100, qPrintable(QString::number(y)));
    for (QPoint head : {QPoint(10, 25), QPoint(20, 25), QPoint(10, SIDE - 25), QPoint(20, SIDE - 25)})
        QVERIFY(ink(image, head.x(), head.y()) > 100);
    for (int y = 0; y < SIDE; ++y)
        for (int x = ARROW_ZONE + 1; x < SIDE; ++x)
            QCOMPARE(ink(image, x, y), 0);
}

void SwashPlateTest::smallPlateDrawsTheDotsOnTheCentre_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("60 x 60") << QSize(60, 60);
    QTest::newRow("150 wide, 60 high") << QSize(150, 60);
    QTest::newRow("40 wide, 150 high") << QSize(40, 150);
}

void SwashPlateTest::smallPlateDrawsTheDotsOnTheCentre()
{
    QFETCH(QSize, size);
    const QImage image = drawConfigured(GEOMETRY_120, size);
    const QPoint centre(size.width() / 2, size.height() / 2);
    verifyDots(image, {centre});
    QVERIFY(ink(image, 15, size.height() / 2) > 100);
    for (int y = 0; y < size.height(); ++y)
        for (int x = ARROW_ZONE + 1; x < size.width(); ++x)
            if (distance(x, y, centre) > 4.5)
                QCOMPARE(ink(image, x, y), 0);
}

void SwashPlateTest::equivalentSettingsDrawTheSamePicture_data()
{
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");

    QTest::newRow("negative phase angle like its positive equivalent")
        << (QStringList(GEOMETRY_120) << QStringLiteral("setVirtualRotation:-100"))
        << (QStringList(GEOMETRY_120) << QStringLiteral("setVirtualRotation:260"));
    QTest::newRow("full turn of phase angle")
        << (QStringList(GEOMETRY_140_SQUARE) << QStringLiteral("setVirtualRotation:30"))
        << (QStringList(GEOMETRY_140_SQUARE) << QStringLiteral("setVirtualRotation:390"));
    QTest::newRow("fourth channel is not drawn")
        << GEOMETRY_120 << (QStringList(GEOMETRY_120) << QStringLiteral("setRatioCH4:250"));
    QTest::newRow("every non-zero aspect is the outline")
        << GEOMETRY_140_SQUARE << (QStringList(GEOMETRY_140_SQUARE) << QStringLiteral("setAspect:7"));
    QTest::newRow("drawing leaves nothing behind")
        << GEOMETRY_MECHANIC
        << (QStringList(GEOMETRY_120) << QStringLiteral("draw") << GEOMETRY_MECHANIC
                                      << QStringLiteral("draw"));
}

void SwashPlateTest::equivalentSettingsDrawTheSamePicture()
{
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    QCOMPARE(drawConfigured(second), drawConfigured(first));
}

void SwashPlateTest::everySetterRepaintsAtOnce_data()
{
    QTest::addColumn<QString>("call");
    // Unchanged values too: the plate repaints on every call.
    for (const char* call : {"setAngle:120", "setVirtualRotation:0", "setAspect:0", "setRatioCH1:1000",
                             "setRatioCH2:1000", "setRatioCH3:1000", "setRatioCH4:1000", "setAngle:90"})
        QTest::newRow(call) << QString::fromLatin1(call);
}

void SwashPlateTest::everySetterRepaintsAtOnce()
{
    QFETCH(QString, call);
    SwashPlate plate;
    plate.resize(SIDE, SIDE);
    plate.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plate));
    QCoreApplication::processEvents();

    PaintCounter counter;
    plate.installEventFilter(&counter);
    configure(plate, {call});
    // No event processing in between: the paint happened inside the call.
    QCOMPARE(counter.paints, 1);
}

void SwashPlateTest::aWholeShapeRepaintsOnce_data()
{
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<SwashPlate::Shape>("shape");
    QTest::addColumn<QStringList>("oneByOne");

    QTest::newRow("mechanic to 120 degrees")
        << GEOMETRY_MECHANIC << SwashPlate::Shape{120, 0, 0, {1000, 1000, 1000}} << GEOMETRY_120;
    QTest::newRow("120 degrees to the square plate turned by 30")
        << GEOMETRY_120 << SwashPlate::Shape{135, 1, 30, {1000, 1414, 1414}}
        << (QStringList(GEOMETRY_140_SQUARE) << QStringLiteral("setVirtualRotation:30"));
    QTest::newRow("square plate to mechanic turned by -90")
        << GEOMETRY_140_SQUARE << SwashPlate::Shape{90, 2, -90, {1000, 1000, 0}}
        << (QStringList(GEOMETRY_MECHANIC) << QStringLiteral("setVirtualRotation:-90"));
}

// Whatever the plate showed before, one shape replaces all of it with one
// paint, and draws what the slots one by one draw.
void SwashPlateTest::aWholeShapeRepaintsOnce()
{
    QFETCH(QStringList, before);
    QFETCH(SwashPlate::Shape, shape);
    QFETCH(QStringList, oneByOne);
    SwashPlate plate;
    plate.setText(QStringLiteral("SwashPlate Visualizer"));
    plate.resize(SIDE, SIDE);
    configure(plate, before);
    plate.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plate));
    QCoreApplication::processEvents();

    PaintCounter counter;
    plate.installEventFilter(&counter);
    plate.setShape(shape);
    QCOMPARE(counter.paints, 1);
    plate.removeEventFilter(&counter);
    QCOMPARE(draw(plate), drawConfigured(oneByOne));
}

QTEST_MAIN(SwashPlateTest)
#include "SwashPlateTest.moc"
