// The device labels of both windows: a device's record, a recovery-mode
// device (its hardware only, marked) and no device, each replacing what was
// shown before.
#include "DeviceLabels.h"

#include "DeviceInfo.h"
#include "SerialMask.h"

#include <QApplication>
#include <QLabel>
#include <QtTest>

#include <algorithm>
#include <memory>

using ZORVI::DeviceInfo;
using ZORVI::DeviceLabels;

namespace {

// Application 3.1.258, data 1.2, hardware 8.2, serial 01 23 ... 33.
DeviceInfo exampleDevice()
{
    DeviceInfo info;
    const uint8_t versions[12] = {0x00, 0x01, 0x00, 0x02, 0x00, 0x03,
                                  0x00, 0x01, 0x01, 0x02, 0x00, 0x82};
    std::copy(versions, versions + 12, info.bytes.begin());
    const uint8_t serial[DeviceInfo::SERIAL_LENGTH] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB,
                                                        0xCD, 0xEF, 0x00, 0x11, 0x22, 0x33};
    for (size_t k = 0; k < DeviceInfo::SERIAL_LENGTH; ++k)
        info.bytes[DeviceInfo::SERIAL_OFFSET + k] = serial[k] ^ ZORVI::SERIAL_MASK[k];
    return info;
}

const QStringList EXAMPLE_SHOWN{"3.1.258", "8.2", "1.2", "01 23 45 67 89 AB CD EF 00 11 22 33"};

enum class Shown { Device, Recovery, Nothing };

} // namespace

Q_DECLARE_METATYPE(Shown)

class DeviceLabelsTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void showsWhatWasAskedLast_data();
    void showsWhatWasAskedLast();

private:
    QStringList texts() const;
    void show(Shown what, uint8_t recoveryHardware);

    QLabel m_application;
    QLabel m_hardware;
    QLabel m_data;
    QLabel m_serial;
    std::unique_ptr<DeviceLabels> m_labels;
};

void DeviceLabelsTest::init()
{
    for (QLabel* label : {&m_application, &m_hardware, &m_data, &m_serial})
        label->setText(QStringLiteral("stale"));
    m_labels = std::make_unique<DeviceLabels>(&m_application, &m_hardware, &m_data, &m_serial);
}

QStringList DeviceLabelsTest::texts() const
{
    return {m_application.text(), m_hardware.text(), m_data.text(), m_serial.text()};
}

void DeviceLabelsTest::show(Shown what, uint8_t recoveryHardware)
{
    if (what == Shown::Device)
        m_labels->show(exampleDevice());
    else if (what == Shown::Recovery)
        m_labels->showRecovery(recoveryHardware);
    else
        m_labels->clear();
}

void DeviceLabelsTest::showsWhatWasAskedLast_data()
{
    QTest::addColumn<Shown>("before");
    QTest::addColumn<Shown>("now");
    QTest::addColumn<uint8_t>("recoveryHardware");
    QTest::addColumn<QStringList>("shown");

    const QStringList none{"", "", "", ""};
    for (Shown before : {Shown::Device, Shown::Recovery, Shown::Nothing}) {
        const QByteArray after = before == Shown::Device     ? "after a device: "
                                 : before == Shown::Recovery ? "after recovery: "
                                                             : "after nothing: ";
        QTest::newRow(after + "device") << before << Shown::Device << uint8_t(0x81) << EXAMPLE_SHOWN;
        QTest::newRow(after + "recovery 8.1")
            << before << Shown::Recovery << uint8_t(0x81)
            << QStringList{"", "8.1 (Recovery-Mode)", "", ""};
        QTest::newRow(after + "recovery 15.0")
            << before << Shown::Recovery << uint8_t(0xF0)
            << QStringList{"", "15.0 (Recovery-Mode)", "", ""};
        QTest::newRow(after + "nothing") << before << Shown::Nothing << uint8_t(0x81) << none;
    }
}

void DeviceLabelsTest::showsWhatWasAskedLast()
{
    QFETCH(Shown, before);
    QFETCH(Shown, now);
    QFETCH(uint8_t, recoveryHardware);
    QFETCH(QStringList, shown);

    show(before, 0x93);
    show(now, recoveryHardware);
    QCOMPARE(texts(), shown);
}

QTEST_MAIN(DeviceLabelsTest)
#include "DeviceLabelsTest.moc"
