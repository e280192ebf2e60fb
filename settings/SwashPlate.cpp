#include "SwashPlate.h"

#include <QColor>
#include <QPainter>
#include <QPalette>
#include <QPen>

#include <cmath>
#include <cstddef>
#include <iterator>

namespace {

// The plate's drawing keeps its historic single-precision pi, and the ring
// and corner positions their single-precision sine and cosine: a corner that
// lands a hair off a whole pixel must fall on the same pixel as it always did.
constexpr float PI_SINGLE = 3.1415927410125732f;
constexpr int ARROW_X = 15;
constexpr int ARROW_END_MARGIN = 20;
constexpr int ARROW_HEAD = 5;
constexpr int PLATE_MARGIN = 60;
// The drawing's three inks, all the palette's window text: the dots opaque,
// the shaft and the spokes a little lighter, the dotted outline of the plate
// (rings or quadrilateral) nearly opaque because a one-pixel antialiased
// dotted line shows only about half its colour. Each keeps at least 3:1
// against a light or a dark window.
constexpr int LINE_ALPHA = 160;
constexpr int OUTLINE_ALPHA = 240;
constexpr int DOT_ALPHA = 255;
constexpr int DOT_BOX = 4;
constexpr int DOT_PEN_WIDTH = 3;
constexpr int SPOKE_PEN_WIDTH = 2;

double radiansDouble(int degrees)
{
    return degrees * static_cast<double>(PI_SINGLE) / 180.0;
}

float radiansSingle(int degrees)
{
    return static_cast<float>(radiansDouble(degrees));
}

// The end of a plate radius of length plate * ratio / 2000 pointing at
// the given angle, in single precision and truncated towards zero.
QPoint plateCorner(int angle, int plate, int ratio, int centreX, int centreY)
{
    const float radians = radiansSingle(angle);
    const float x = static_cast<float>(centreX)
        - std::sin(radians) * static_cast<float>(plate) * static_cast<float>(ratio) / 2000.0f;
    const float y = std::cos(radians) * static_cast<float>(plate) * static_cast<float>(ratio) / 2000.0f
        + static_cast<float>(centreY);
    return QPoint(static_cast<int>(x), static_cast<int>(y));
}

} // namespace

SwashPlate::SwashPlate(QWidget* parent)
    : QLabel(parent)
{
}

void SwashPlate::setShape(const Shape& shape)
{
    storeAngle(shape.angle);
    m_aspect = shape.aspect;
    m_virtualRotation = shape.virtualRotation;
    for (size_t servo = 0; servo < std::size(shape.ratios); ++servo)
        m_ratios[servo] = shape.ratios[servo];
    repaint();
}

void SwashPlate::setAngle(int i_iAngle)
{
    storeAngle(i_iAngle);
    repaint();
}

void SwashPlate::storeAngle(int angle)
{
    m_servoAngles[1] = angle;
    m_servoAngles[2] = 360 - angle;
}

void SwashPlate::setVirtualRotation(int i_iVirtualRotation)
{
    m_virtualRotation = i_iVirtualRotation;
    repaint();
}

void SwashPlate::setAspect(int i_iAspect)
{
    m_aspect = i_iAspect;
    repaint();
}

void SwashPlate::setRatioCH1(int i_iRatio)
{
    setRatio(0, i_iRatio);
}

void SwashPlate::setRatioCH2(int i_iRatio)
{
    setRatio(1, i_iRatio);
}

void SwashPlate::setRatioCH3(int i_iRatio)
{
    setRatio(2, i_iRatio);
}

void SwashPlate::setRatioCH4(int i_iRatio)
{
    setRatio(3, i_iRatio);
}

void SwashPlate::setRatio(int servo, int ratio)
{
    m_ratios[servo] = ratio;
    repaint();
}

// The plate's full size: the widget's smaller side less room for the arrow
// and the dots; nothing on a widget too small for that.
int SwashPlate::plateSize() const
{
    const int side = qMin(width(), height());
    return side > PLATE_MARGIN ? side - PLATE_MARGIN : 0;
}

// The remainder keeps the sign of the sum: a negative phase angle gives a
// negative angle, which sine and cosine treat like its positive equivalent.
int SwashPlate::servoAngle(int servo) const
{
    return (m_servoAngles[servo] + m_virtualRotation) % 360;
}

SwashPlate::ServoGeometry SwashPlate::servoGeometry(int servo, int plate) const
{
    const int centreX = width() / 2;
    const int centreY = height() / 2;
    const int angle = servoAngle(servo);
    const int ratio = m_ratios[servo];
    ServoGeometry geometry;

    const double radians = radiansDouble(angle);
    geometry.spokeEnd = QPoint(
        centreX - static_cast<int>(std::sin(radians) * plate * ratio / 1000 / 2),
        centreY + static_cast<int>(std::cos(radians) * plate * ratio / 1000 / 2));

    const float ringLeft = static_cast<float>(centreX)
        - static_cast<float>(plate) * static_cast<float>(ratio) / 2000.0f;
    const float ringTop = static_cast<float>(centreY)
        - static_cast<float>(plate) * static_cast<float>(ratio) / 2000.0f;
    const int diameter =
        static_cast<int>(static_cast<float>(plate) * static_cast<float>(ratio) / 1000.0f);
    geometry.ring = QRect(static_cast<int>(ringLeft), static_cast<int>(ringTop), diameter, diameter);

    if (m_aspect != 0 && servo != 0) {
        geometry.cornerA = plateCorner(angle, plate, ratio, centreX, centreY);
        geometry.cornerB = plateCorner((angle + 180) % 360, plate, ratio, centreX, centreY);
    }
    return geometry;
}

// The window text of the active palette also while disabled: the double
// arrow, all a disabled plate draws, stays the same picture.
QColor SwashPlate::ink(int alpha) const
{
    QColor colour = palette().color(QPalette::Active, QPalette::WindowText);
    colour.setAlpha(alpha);
    return colour;
}

void SwashPlate::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QPen pen(ink(LINE_ALPHA), 1, Qt::SolidLine);
    painter.setPen(pen);
    drawDoubleArrow(painter);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const int plate = plateSize();
    if (!isEnabled())
        return;

    ServoGeometry geometry[MAX_SERVOS];
    for (int servo = 0; servo < m_servoCount; ++servo)
        geometry[servo] = servoGeometry(servo, plate);

    pen.setStyle(Qt::DotLine);
    pen.setWidth(1);
    if (m_aspect == 0)
        drawRings(painter, pen, geometry);
    else
        drawOutline(painter, pen, geometry);

    pen.setStyle(Qt::SolidLine);
    drawSpokesAndDots(painter, pen, geometry);
    painter.end();
}

// The arrow stands for the helicopter's nose-to-tail axis; it is drawn
// crisp, without antialiasing.
void SwashPlate::drawDoubleArrow(QPainter& painter) const
{
    const int top = ARROW_END_MARGIN;
    const int bottom = height() - ARROW_END_MARGIN;
    painter.drawLine(ARROW_X, top, ARROW_X, bottom);
    painter.drawLine(ARROW_X, top, ARROW_X - ARROW_HEAD, top + ARROW_HEAD);
    painter.drawLine(ARROW_X, top, ARROW_X + ARROW_HEAD, top + ARROW_HEAD);
    painter.drawLine(ARROW_X, bottom, ARROW_X - ARROW_HEAD, bottom - ARROW_HEAD);
    painter.drawLine(ARROW_X, bottom, ARROW_X + ARROW_HEAD, bottom - ARROW_HEAD);
}

void SwashPlate::drawRings(QPainter& painter, QPen& pen, const ServoGeometry* geometry) const
{
    pen.setColor(ink(OUTLINE_ALPHA));
    painter.setPen(pen);
    for (int servo = 0; servo < m_servoCount; ++servo)
        if (!ringDrawnBefore(servo, geometry))
            painter.drawEllipse(geometry[servo].ring);
}

// Servos of equal ratio share one ring. Drawn once for each of them, the
// nearly opaque dots of the ring would pile up into solid ink, as dark as the
// servo dots; drawn once, a ring looks the same whoever shares it.
bool SwashPlate::ringDrawnBefore(int servo, const ServoGeometry* geometry) const
{
    for (int earlier = 0; earlier < servo; ++earlier)
        if (geometry[earlier].ring == geometry[servo].ring)
            return true;
    return false;
}

// The quadrilateral through both ends of servo 2's and servo 3's plate
// diameters, dotted and coloured like the rings.
void SwashPlate::drawOutline(QPainter& painter, QPen& pen, const ServoGeometry* geometry) const
{
    const ServoGeometry& second = geometry[1];
    const ServoGeometry& third = geometry[2];
    pen.setColor(ink(OUTLINE_ALPHA));
    painter.setPen(pen);
    painter.drawLine(second.cornerA, third.cornerA);
    painter.drawLine(third.cornerA, second.cornerB);
    painter.drawLine(second.cornerB, third.cornerB);
    painter.drawLine(third.cornerB, second.cornerA);
}

void SwashPlate::drawSpokesAndDots(QPainter& painter, QPen& pen, const ServoGeometry* geometry) const
{
    const QPoint centre(width() / 2, height() / 2);
    for (int servo = 0; servo < m_servoCount; ++servo) {
        const QPoint end = geometry[servo].spokeEnd;

        pen.setColor(ink(LINE_ALPHA));
        pen.setWidth(SPOKE_PEN_WIDTH);
        painter.setPen(pen);
        painter.drawLine(centre, end);

        pen.setColor(ink(DOT_ALPHA));
        pen.setWidth(DOT_PEN_WIDTH);
        painter.setPen(pen);
        painter.drawEllipse(QRect(end.x() - DOT_BOX / 2, end.y() - DOT_BOX / 2, DOT_BOX, DOT_BOX));
    }
}
