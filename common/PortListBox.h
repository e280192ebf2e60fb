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
    // What a box that had no port chosen shows after a rebuild: the port
    // likely to be the KORLINK interface (see likelyInterface), or still
    // none.
    enum class Unchosen { LikelyInterface, NoPort };

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

    // The port among `ports` a user without a choice of his own most likely
    // wants, or empty when none is likely: a port that opens nothing but an
    // idle line (the PC's own serial port) would send him off to find out
    // why nothing answers, or to an administrator for the right to open it.
    // In this order:
    // - the first of `virtualPorts` listed: a virtual port exists only
    //   while its provider runs, and the user started it (the simulated
    //   device);
    // - the first USB serial port by its kernel name (ttyUSB*, ttyACM*), as
    //   the KORLINK adapter is one;
    // - the COM port with the highest number above COM2 (Windows's names,
    //   which do not tell the kind of port). Windows keeps COM1 and COM2 for
    //   the board's own ports and gives each adapter the next free number
    //   when it is first plugged in, so the adapter plugged in last has the
    //   highest one.
    static QString likelyInterface(const QStringList& ports, const QStringList& virtualPorts);
    // The virtual ports listed now: the per-user port map's entries on
    // Linux; none on Windows.
    static QStringList virtualPorts();
};

} // namespace ZORVI
