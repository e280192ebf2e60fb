#pragma once

#include <QStringList>

#include <string>
#include <vector>

class QComboBox;

namespace ZORVI {

// The windows' port box, kept in step with the system's port list
// (Communication::PortList). Rebuilding it keeps the port the user had
// chosen when it is still listed; the caller holds back what choosing a
// port would start (asking the device) around the rebuild.
class PortListBox {
public:
    // What a box that had no port chosen shows after a rebuild: the first
    // port (as a box does by itself), or still none.
    enum class Unchosen { FirstPort, NoPort };

    // What became of the chosen port.
    enum class Selection {
        Kept,     // still listed and chosen
        Gone,     // no longer listed: nothing is chosen now
        NoneBefore // nothing was chosen before the rebuild
    };

    // The names as the windows show them (the system's 8-bit encoding).
    static QStringList names(const std::vector<std::string>& ports);

    // Replaces the box's items by these ports.
    static Selection rebuild(QComboBox& box, const QStringList& ports, Unchosen unchosen);
};

} // namespace ZORVI
