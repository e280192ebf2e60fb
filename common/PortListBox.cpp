#include "PortListBox.h"

#include <QComboBox>
#include <QRegularExpression>

#ifndef _WIN32
#include "PortMap.h"
#endif

namespace ZORVI {

namespace {

// Windows numbers COM1 and COM2 for the board's own ports.
constexpr int LAST_BOARD_PORT = 2;

bool isUsbSerialName(const QString& port)
{
    static const QRegularExpression usbSerial(QStringLiteral("^tty(USB|ACM)[0-9]+$"));
    return usbSerial.match(port).hasMatch();
}

// The number of a port named COMn, or 0 for any other name.
int comNumber(const QString& port)
{
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]*)$"));
    const QRegularExpressionMatch match = com.match(port);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

} // namespace

QStringList PortListBox::names(const std::vector<std::string>& ports)
{
    QStringList names;
    names.reserve(static_cast<qsizetype>(ports.size()));
    for (const std::string& port : ports)
        names.append(QString::fromLocal8Bit(port.c_str()));
    return names;
}

PortListBox::Selection PortListBox::rebuild(QComboBox& box, const QStringList& ports,
                                            Unchosen unchosen)
{
    const QString remembered = box.currentText();
    box.clear();
    // Adding to an empty box chooses its first item.
    box.addItems(ports);
    if (remembered.isEmpty()) {
        const QString likely = unchosen == Unchosen::LikelyInterface
            ? likelyInterface(ports, virtualPorts())
            : QString();
        box.setCurrentIndex(ports.indexOf(likely));
        return Selection::NoneBefore;
    }
    const int index = ports.indexOf(remembered);
    box.setCurrentIndex(index);
    return index < 0 ? Selection::Gone : Selection::Kept;
}

QString PortListBox::likelyInterface(const QStringList& ports, const QStringList& virtualPorts)
{
    for (const QString& port : ports)
        if (virtualPorts.contains(port))
            return port;
    for (const QString& port : ports)
        if (isUsbSerialName(port))
            return port;
    QString newest;
    int newestNumber = LAST_BOARD_PORT;
    for (const QString& port : ports) {
        const int number = comNumber(port);
        if (number > newestNumber) {
            newest = port;
            newestNumber = number;
        }
    }
    return newest;
}

QStringList PortListBox::virtualPorts()
{
#ifdef _WIN32
    return QStringList();
#else
    return names(Communication::Serial::PortMap::entries());
#endif
}

} // namespace ZORVI
