#pragma once

// Reading the device simulator's transaction log in the settings tests:
// the payloads of the requests of one command, in the order sent.

#include "SimulatorProcess.h"

#include <QString>
#include <QStringList>

namespace SimulatorLog {

// Lines look like "request dst=1 src=6 cmd=2 payload=104803".
inline QStringList requestPayloads(const ZORVI::Testing::SimulatorProcess& sim, int command)
{
    const QString commandField = QStringLiteral(" cmd=%1 ").arg(command);
    QStringList payloads;
    for (const std::string& line : sim.logLines("request")) {
        const QString text = QString::fromStdString(line);
        if (!text.contains(commandField))
            continue;
        const int at = text.indexOf(QStringLiteral("payload="));
        payloads.append(at < 0 ? QString() : text.mid(at + 8).trimmed().toLower());
    }
    return payloads;
}

inline int requestCount(const ZORVI::Testing::SimulatorProcess& sim)
{
    return static_cast<int>(sim.logLines("request").size());
}

} // namespace SimulatorLog
