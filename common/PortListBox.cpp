#include "PortListBox.h"

#include <QComboBox>

namespace ZORVI {

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
        if (unchosen == Unchosen::NoPort)
            box.setCurrentIndex(-1);
        return Selection::NoneBefore;
    }
    const int index = ports.indexOf(remembered);
    box.setCurrentIndex(index);
    return index < 0 ? Selection::Gone : Selection::Kept;
}

} // namespace ZORVI
