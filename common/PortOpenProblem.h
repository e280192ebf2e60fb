#pragma once

#include "DeviceConnection.h"

#include <QCoreApplication>
#include <QString>

#include <string>

class QWidget;

namespace ZORVI {

// What the windows say when a port does not open: the connection's reason
// (translated), then the system's own words, which name what the reason
// can only group together (the program that holds the port, the group the
// user must join and the command for it).
class PortOpenProblem {
    Q_DECLARE_TR_FUNCTIONS(PortOpenProblem)

public:
    // The reason, and after it the system's words in parentheses when the
    // port itself failed and the system had any.
    static QString reason(DeviceConnection::Outcome outcome, const std::string& openError);
    // Whether the whole text goes into a box, where it can be read and
    // copied: when the user must run a command (join the port's group), and
    // when the system names the program that holds the port (its words make
    // the text too long for a status line, and the user must close that
    // program). Other failures fit the status line.
    static bool needsBox(DeviceConnection::Outcome outcome,
                         const std::string& openError = std::string());
    static void showBox(QWidget* parent, const QString& port, const QString& reason);
};

} // namespace ZORVI
