#pragma once

#include <QDialog>
#include <QStringList>

#include <memory>

class QTimer;

namespace Ui {
class AutoDetectClass;
}

namespace ZORVI {

namespace Communication {
class PortList;
} // namespace Communication

// Finds the KORLINK adapter's port while the user unplugs and replugs it:
// the port list is watched once a second, and the one port that appears is
// the adapter's. Unplugging only shrinks the remembered list; a poll that
// finds exactly one port more than remembered reports the new name and
// closes the dialog. Anything else (equal count, fewer ports, two or more
// new ports at once) just becomes the remembered list.
//
// The dialog is window-modal, deletes itself when closed and never opens a
// port: its own port list only reads the system's.
class AutoDetectInterface : public QDialog {
    Q_OBJECT

public:
    static constexpr int POLL_MS = 1000;

    explicit AutoDetectInterface(QWidget* parent = nullptr,
                                 Qt::WindowFlags flags = Qt::WindowFlags());
    ~AutoDetectInterface() override;

signals:
    void sendAutodetect(QString qSerial);

public slots:
    void OnTimer();

private:
    QStringList enumeratePorts();

    std::unique_ptr<Ui::AutoDetectClass> m_ui;
    QStringList m_snapshot;
    QTimer* m_pollTimer;
    std::unique_ptr<Communication::PortList> m_ports;
};

} // namespace ZORVI
