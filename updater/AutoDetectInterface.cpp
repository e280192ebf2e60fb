#include "AutoDetectInterface.h"

#include "PortList.h"
#include "PortListBox.h"
#include "ui_AutoDetectInterface.h"

#include <QTimer>

namespace ZORVI {

AutoDetectInterface::AutoDetectInterface(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
    , m_ui(new Ui::AutoDetectClass)
    , m_pollTimer(new QTimer(this))
{
    m_pollTimer->setObjectName(QStringLiteral("m_pollTimer"));
    m_ui->setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    connect(m_ui->m_btnAbort, &QPushButton::clicked, this, &QWidget::close);

    m_ports = std::make_unique<Communication::PortList>();
    m_snapshot = enumeratePorts();

    connect(m_pollTimer, &QTimer::timeout, this, &AutoDetectInterface::OnTimer);
    // Closed (by Abort, the window's close button or a report) means done,
    // even before the deferred deletion gets to the dialog.
    connect(this, &QDialog::finished, m_pollTimer, &QTimer::stop);
    m_pollTimer->start(POLL_MS);
}

AutoDetectInterface::~AutoDetectInterface() = default;

QStringList AutoDetectInterface::enumeratePorts()
{
    return PortListBox::names(m_ports->present());
}

void AutoDetectInterface::OnTimer()
{
    const QStringList ports = enumeratePorts();
    if (ports.size() != m_snapshot.size() + 1) {
        m_snapshot = ports;
        return;
    }
    bool reported = false;
    for (const QString& port : ports) {
        if (m_snapshot.contains(port, Qt::CaseSensitive))
            continue;
        if (!reported) {
            m_pollTimer->stop();
            close();
            reported = true;
        }
        emit sendAutodetect(port);
    }
}

} // namespace ZORVI
