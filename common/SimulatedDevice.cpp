#include "SimulatedDevice.h"

#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

namespace ZORVI {

namespace {

// A port name is one short line; more without a line end is no name.
constexpr int LONGEST_FIRST_LINE = 4096;
// Enough of its standard error for the last few messages.
constexpr int KEPT_ERROR_OUTPUT = 2048;

} // namespace

SimulatedDevice::SimulatedDevice(QObject* parent)
    : QObject(parent)
    , m_program(findProgram())
{
    m_readyTimer.setSingleShot(true);
    connect(&m_readyTimer, &QTimer::timeout, this, &SimulatedDevice::onReadyTimeout);
    connect(&m_process, &QProcess::readyReadStandardOutput, this, &SimulatedDevice::onOutput);
    connect(&m_process, &QProcess::readyReadStandardError, this,
            &SimulatedDevice::onErrorOutput);
    connect(&m_process, &QProcess::errorOccurred, this, &SimulatedDevice::onProcessError);
    connect(&m_process, &QProcess::finished, this, &SimulatedDevice::onFinished);
}

SimulatedDevice::~SimulatedDevice()
{
    // Nobody listens any more: it only has to end.
    disconnect(&m_process, nullptr, this, nullptr);
    endProcess();
}

QString SimulatedDevice::findProgram()
{
    const QString name = QString::fromLatin1(PROGRAM_NAME);
    const QString folder = QCoreApplication::applicationDirPath();
    QString found = QStandardPaths::findExecutable(
        name, {folder, folder + QStringLiteral("/../sim")});
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(name);
    return found.isEmpty() ? found : QDir::cleanPath(found);
}

bool SimulatedDevice::isSimulatorPortName(const QString& port)
{
    return port.startsWith(QStringLiteral("ttySIM"));
}

QString SimulatedDevice::freeName(const QStringList& takenPorts)
{
    for (int number = 0;; ++number) {
        const QString name = QStringLiteral("ttySIM%1").arg(number);
        if (!takenPorts.contains(name))
            return name;
    }
}

void SimulatedDevice::start(const QStringList& takenPorts)
{
    if (isRunning() || !isAvailable())
        return;
    m_firstLine.clear();
    m_errorOutput.clear();
    m_portName.clear();
    // It ends by itself when this program ends in any way, also killed.
    const QStringList arguments{QStringLiteral("--name"), freeName(takenPorts),
                                QStringLiteral("--watch-pid"),
                                QString::number(QCoreApplication::applicationPid())};
    m_readyTimer.start(READY_TIMEOUT_MS);
    m_process.start(m_program, arguments);
}

void SimulatedDevice::stop()
{
    if (!isRunning())
        return;
    m_readyTimer.stop();
    endProcess();
    m_portName.clear();
    emit stopped();
}

// Asked to end, it removes its port map entry first; one that does not end
// in time is killed (its entry is then not listed any more either).
void SimulatedDevice::endProcess()
{
    if (!isRunning())
        return;
    m_stopping = true;
    m_process.terminate();
    if (!m_process.waitForFinished(STOP_WAIT_MS)) {
        m_process.kill();
        m_process.waitForFinished(KILL_WAIT_MS);
    }
    m_stopping = false;
}

// Its first line is the name of its port, written once the port is ready.
void SimulatedDevice::onOutput()
{
    const QByteArray output = m_process.readAllStandardOutput();
    if (!m_portName.isEmpty())
        return;
    m_firstLine += output;
    const qsizetype end = m_firstLine.indexOf('\n');
    if (end < 0) {
        if (m_firstLine.size() > LONGEST_FIRST_LINE)
            fail(tr("The simulated device did not name its port."));
        return;
    }
    const QString name = QString::fromLocal8Bit(m_firstLine.left(end)).trimmed();
    if (name.isEmpty()) {
        fail(tr("The simulated device did not name its port."));
        return;
    }
    m_readyTimer.stop();
    m_portName = name;
    emit ready(m_portName);
}

void SimulatedDevice::onErrorOutput()
{
    m_errorOutput += m_process.readAllStandardError();
    if (m_errorOutput.size() > KEPT_ERROR_OUTPUT)
        m_errorOutput = m_errorOutput.right(KEPT_ERROR_OUTPUT);
}

// Ending is told by finished(); only a start that failed is told here.
void SimulatedDevice::onProcessError(QProcess::ProcessError error)
{
    if (error == QProcess::FailedToStart)
        fail(tr("%1 could not be started: %2").arg(m_program, m_process.errorString()));
}

void SimulatedDevice::onFinished(int exitCode, QProcess::ExitStatus status)
{
    m_readyTimer.stop();
    if (m_stopping)
        return;
    onErrorOutput();
    const bool wasReady = !m_portName.isEmpty();
    m_portName.clear();
    const QString how = status == QProcess::CrashExit
        ? tr("it was ended by a signal")
        : tr("it ended with status %1").arg(exitCode);
    emit failed(wasReady ? tr("The simulated device has stopped: %1.").arg(how)
                         : tr("The simulated device did not start: %1.").arg(how),
                QString::fromLocal8Bit(m_errorOutput).trimmed());
}

void SimulatedDevice::onReadyTimeout()
{
    fail(tr("The simulated device did not name its port within %1 seconds.")
             .arg(READY_TIMEOUT_MS / 1000));
}

// A start that went wrong leaves nothing running.
void SimulatedDevice::fail(const QString& reason)
{
    m_readyTimer.stop();
    endProcess();
    onErrorOutput();
    m_portName.clear();
    emit failed(reason, QString::fromLocal8Bit(m_errorOutput).trimmed());
}

} // namespace ZORVI
