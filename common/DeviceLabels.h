#pragma once

#include <QCoreApplication>

#include <cstdint>

class QLabel;

namespace ZORVI {

struct DeviceInfo;

// The four labels both windows show the connected device in: application
// (firmware) version, hardware version, parameter data version and serial
// number. A device in recovery mode tells only its hardware, marked as such.
class DeviceLabels {
    Q_DECLARE_TR_FUNCTIONS(ZORVI::DeviceLabels)

public:
    DeviceLabels(QLabel* application, QLabel* hardware, QLabel* data, QLabel* serial);

    void show(const DeviceInfo& info);
    void showRecovery(uint8_t hardwareByte);
    void clear();

private:
    QLabel* m_application;
    QLabel* m_hardware;
    QLabel* m_data;
    QLabel* m_serial;
};

} // namespace ZORVI
