#include "DeviceLabels.h"

#include "DeviceInfo.h"

#include <QLabel>

namespace ZORVI {

DeviceLabels::DeviceLabels(QLabel* application, QLabel* hardware, QLabel* data, QLabel* serial)
    : m_application(application)
    , m_hardware(hardware)
    , m_data(data)
    , m_serial(serial)
{
}

void DeviceLabels::show(const DeviceInfo& info)
{
    m_application->setText(QString::fromStdString(info.applicationVersionText()));
    m_hardware->setText(QString::fromStdString(info.hardwareVersionText()));
    m_data->setText(QString::fromStdString(info.dataVersionText()));
    m_serial->setText(QString::fromStdString(info.serialLabelText()));
}

void DeviceLabels::showRecovery(uint8_t hardwareByte)
{
    clear();
    m_hardware->setText(QString::fromStdString(recoveryHardwareText(hardwareByte))
                        + tr(" (Recovery-Mode)"));
}

void DeviceLabels::clear()
{
    m_hardware->clear();
    m_application->clear();
    m_data->clear();
    m_serial->clear();
}

} // namespace ZORVI
