#pragma once

// A device simulator started from given parameter values, for the settings
// window tests: what it holds is read back from its state file.

#include "PrivateRuntimeDir.h"
#include "SimulatorLog.h"
#include "SimulatorProcess.h"

#include <QByteArray>
#include <QFile>
#include <QMap>
#include <QString>
#include <QStringList>

#include <climits>
#include <memory>
#include <string>
#include <vector>

using Values = QMap<int, int>;

// A simulated device whose parameters start from `values` (the rest keep
// the simulator's factory set-up: 120 ° at phase 0, pulse length preset
// "1520us*", frame rate preset "50 Hz*"), kept in a state file that the
// simulator rewrites after every accepted write.
class Device {
public:
    // With a runtimeDirectory, the port joins that simulator's port map.
    explicit Device(const Values& values, std::vector<std::string> extraArguments = {},
                    const std::string& runtimeDirectory = std::string())
    {
        m_statePath = m_stateDir.path() + "/state";
        QFile file(QString::fromStdString(m_statePath));
        if (!file.open(QIODevice::WriteOnly))
            return;
        for (auto it = values.begin(); it != values.end(); ++it)
            file.write(QStringLiteral("0x%1 %2\n").arg(it.key(), 0, 16).arg(it.value()).toLatin1());
        file.close();
        extraArguments.insert(extraArguments.begin(), {"--state", m_statePath});
        m_sim = std::make_unique<ZORVI::Testing::SimulatorProcess>(extraArguments, runtimeDirectory);
    }

    ZORVI::Testing::SimulatorProcess& sim() { return *m_sim; }
    bool isRunning() const { return m_sim && m_sim->isRunning(); }

    // What the device holds now (the simulator rewrites its state file
    // after every accepted write).
    int stored(int id) const
    {
        QFile file(QString::fromStdString(m_statePath));
        if (!file.open(QIODevice::ReadOnly))
            return INT_MIN;
        const QString wanted = QStringLiteral("0x%1").arg(id, 4, 16, QChar('0'));
        while (!file.atEnd()) {
            const QStringList fields = QString::fromLatin1(file.readLine()).simplified().split(' ');
            if (fields.size() == 2 && fields[0].compare(wanted, Qt::CaseInsensitive) == 0)
                return fields[1].toInt();
        }
        return INT_MIN;
    }

    // The state file as it is now: unchanged bytes mean nothing was stored.
    QByteArray stateBytes() const
    {
        QFile file(QString::fromStdString(m_statePath));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    int writes() const { return SimulatorLog::requestPayloads(*m_sim, 4).size(); }

private:
    PrivateRuntimeDir m_stateDir;
    std::string m_statePath;
    std::unique_ptr<ZORVI::Testing::SimulatorProcess> m_sim;
};
