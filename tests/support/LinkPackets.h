#pragma once

// What crossed an in-process link, in the form the settings tests compare:
// the payloads of the host's requests of one command as lower-case hex, in
// the order sent ("104803" for a descriptor request of 0x1048, 3 entries).

#include "SimulatedLink.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace LinkPackets {

using ZORVI::Simulator::SimulatedLink;

inline QStringList requestPayloads(const SimulatedLink& link, int command)
{
    QStringList payloads;
    for (const SimulatedLink::Crossing& request : link.requests(static_cast<uint8_t>(command))) {
        const QByteArray bytes(reinterpret_cast<const char*>(request.payload.data()),
                               static_cast<int>(request.payload.size()));
        payloads.append(QString::fromLatin1(bytes.toHex()));
    }
    return payloads;
}

inline int requestCount(const SimulatedLink& link)
{
    return static_cast<int>(link.requestCount());
}

// The commands of the host's requests, in the order sent.
inline QList<int> requestCommands(const SimulatedLink& link)
{
    QList<int> commands;
    for (const SimulatedLink::Crossing& crossing : link.packets()) {
        if (crossing.way == SimulatedLink::Crossing::Way::ToDevice)
            commands.append(crossing.command);
    }
    return commands;
}

} // namespace LinkPackets
