#pragma once

#include <QColor>
#include <QLabel>
#include <QPoint>
#include <QRect>

class QPainter;
class QPen;

// Draws the swash plate seen from above: one spoke and dot per swash servo
// at the servo's position around the plate, the plate's outline (dotted
// rings, or a quadrilateral for the geometries that are not ring-shaped)
// and a vertical double arrow at the left edge. The window's geometry rules
// feed it through the slots; it reads nothing else and keeps nothing beyond
// what it draws. Angle 0 points straight down, 90 to the left. Every setter
// repaints at once.
class SwashPlate : public QLabel {
    Q_OBJECT

public:
    // One whole swash plate geometry: what setShape() takes in one repaint
    // instead of one repaint per slot below.
    struct Shape {
        int angle;
        int aspect;
        int virtualRotation;
        int ratios[3]; // servos 1 to 3
    };

    explicit SwashPlate(QWidget* parent = nullptr);

    void setShape(const Shape& shape);

public slots:
    // Servo 2 sits at the angle, servo 3 mirrored at 360 - angle.
    void setAngle(int i_iAngle);
    // The phase angle, added to every servo's angle.
    void setVirtualRotation(int i_iVirtualRotation);
    // 0 draws rings, anything else the quadrilateral outline.
    void setAspect(int i_iAspect);
    // Spoke length factors in thousandths.
    void setRatioCH1(int i_iRatio);
    void setRatioCH2(int i_iRatio);
    void setRatioCH3(int i_iRatio);
    void setRatioCH4(int i_iRatio);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int MAX_SERVOS = 4;

    struct ServoGeometry {
        QPoint spokeEnd;
        QRect ring;
        QPoint cornerA;
        QPoint cornerB;
    };

    void setRatio(int servo, int ratio);
    int plateSize() const;
    int servoAngle(int servo) const;
    ServoGeometry servoGeometry(int servo, int plate) const;
    QColor ink(int alpha) const;
    void drawDoubleArrow(QPainter& painter) const;
    void storeAngle(int angle);
    void drawRings(QPainter& painter, QPen& pen, const ServoGeometry* geometry) const;
    bool ringDrawnBefore(int servo, const ServoGeometry* geometry) const;
    void drawOutline(QPainter& painter, QPen& pen, const ServoGeometry* geometry) const;
    void drawSpokesAndDots(QPainter& painter, QPen& pen, const ServoGeometry* geometry) const;

    int m_servoCount = 3;
    int m_servoAngles[MAX_SERVOS] = {0, 120, 240, 0};
    int m_virtualRotation = 0;
    int m_ratios[MAX_SERVOS] = {1000, 1000, 1000, 1000};
    int m_aspect = 0;
};
