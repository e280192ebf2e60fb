#pragma once

// A simulated device started from given parameter values, for the settings
// window tests, inside the test's process: what it holds is read from its
// parameter table, what the window wrote from the packets that crossed.

#include "Control.h"
#include "InProcessDevice.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QString>
#include <QTemporaryDir>

#include <climits>
#include <memory>
#include <string>
#include <vector>

using Values = QMap<int, int>;

// A simulated device whose parameters start from `values` (the rest keep
// the simulator's factory set-up: 120 ° at phase 0, pulse length preset
// "1520us*", frame rate preset "50 Hz*"), kept in a state file that the
// device rewrites after every accepted write.
class Device {
public:
    // With plugInBeside, the port joins that device's port map.
    explicit Device(const Values& values, std::vector<std::string> extraArguments = {},
                    const Device* plugInBeside = nullptr)
    {
        m_statePath = m_stateDir.filePath(QStringLiteral("state"));
        QFile file(m_statePath);
        if (!m_stateDir.isValid() || !file.open(QIODevice::WriteOnly))
            return;
        for (auto it = values.begin(); it != values.end(); ++it)
            file.write(QStringLiteral("0x%1 %2\n").arg(it.key(), 0, 16).arg(it.value()).toLatin1());
        file.close();
        extraArguments.insert(extraArguments.begin(), {"--state", m_statePath.toStdString()});
        m_device = std::make_unique<InProcessDevice>(
            extraArguments, plugInBeside ? plugInBeside->m_device.get() : nullptr);
    }

    bool isReady() const { return m_device && m_device->isReady(); }
    const std::string& portName() const { return m_device->portName(); }
    InProcessDevice& device() { return *m_device; }
    // A controller for the window, on a port onto this device.
    std::unique_ptr<ZORVI::Control> control() { return m_device->control(); }

    // What the device holds now.
    int stored(int id) const
    {
        int32_t number = 0;
        return m_device->link().value(static_cast<uint16_t>(id), number) ? number : INT_MIN;
    }

    // The state file as it is now: unchanged bytes mean nothing was stored.
    QByteArray stateBytes() const
    {
        QFile file(m_statePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // From now on the device cannot save a write, and so refuses it: a
    // folder (not empty) stands where its state file was.
    bool refuseFurtherWrites()
    {
        return QFile::remove(m_statePath) && QDir().mkpath(m_statePath + QStringLiteral("/kept"));
    }

    // Parameter write requests that reached the device.
    int writes() const { return static_cast<int>(m_device->link().requests(4).size()); }

private:
    QTemporaryDir m_stateDir;
    QString m_statePath;
    std::unique_ptr<InProcessDevice> m_device;
};
