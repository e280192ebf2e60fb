#pragma once

#include <array>

namespace ZORVI {

// The swash plate geometries the settings window offers, and how one of them
// plus a phase angle becomes the device's seven swash entries (three servo
// positions, three servo travels, the mixer mode) and back.
//
// Servo 1 sits at the phase angle; servo 2 the geometry's angle further on,
// servo 3 the same angle back. A mechanical mixer drives only two servos.
class SwashGeometry {
public:
    // Positions in the geometry list.
    enum Index {
        Mechanic = 0,
        Angle90 = 1,
        Angle120 = 2,
        Angle125 = 3,
        Angle140 = 4,
        Angle140Equal = 5,
        COUNT = 6
    };
    // What a device whose entries fit no geometry is shown.
    static constexpr int FALLBACK_INDEX = Angle120;
    // Servo 1's position as offered for editing: a half turn either way.
    static constexpr int PHASE_ANGLE_MIN = -180;
    static constexpr int PHASE_ANGLE_MAX = 180;

    static constexpr int SERVOS = 3;
    using ServoValues = std::array<int, SERVOS>;

    struct Definition {
        int angle;           // between servo 1 and servo 2 (and servo 3 and 1)
        ServoValues travels; // thousandths
        int mixerMode;
        int aspect;          // how the visualizer draws it
    };

    // What the device holds.
    struct Stored {
        ServoValues angles;
        ServoValues travels;
        int mixerMode;
    };

    struct Selection {
        bool recognised;
        int index; // FALLBACK_INDEX when not recognised
    };

    // An index outside the list gives the 120 degree geometry.
    static Definition definition(int index);
    // The servo positions for the phase angle, brought into 0..359 from below
    // only: the phase angle lies within -180..180.
    static ServoValues servoAngles(int geometryAngle, int phaseAngle);
    // The list position whose entries the device holds. Servo positions that
    // are not spread evenly, and entries that fit no geometry, are not
    // recognised.
    static Selection select(const Stored& stored);
    // The phase angle of servo 1's position (0..359 on the device), within
    // -180..180.
    static int phaseAngleOf(int servo1Angle);
};

} // namespace ZORVI
