#pragma once

#include <QByteArray>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QTimer>

namespace ZORVI {

// The simulated device (the zorvik-sim program: a KORLINK adapter with a
// device behind it on a port of the per-user port map) run as a child of a
// window, so that a user without the hardware can try the window: found,
// started, its port reported once it is ready, and stopped again. It ends
// with the object at the latest, and by itself when the program that
// started it ends in any way (it watches that process).
//
// Each start is a fresh device with factory settings: nothing it is told
// outlives it.
class SimulatedDevice : public QObject {
    Q_OBJECT

public:
    static constexpr const char* PROGRAM_NAME = "zorvik-sim";
    // The simulator names its port before it serves anything; a start that
    // has not named one by then is taken as failed.
    static constexpr int READY_TIMEOUT_MS = 10000;
    // Stopping asks it to end (it removes its port map entry), then kills it.
    static constexpr int STOP_WAIT_MS = 3000;
    static constexpr int KILL_WAIT_MS = 1000;

    // With the program found by findProgram().
    explicit SimulatedDevice(QObject* parent = nullptr);
    ~SimulatedDevice() override;

    // Where the simulator is: beside this program's executable (installed,
    // both in the same bin folder), in the build tree's sim folder beside
    // the program's own folder, or else on the PATH. Empty when it is
    // nowhere.
    static QString findProgram();
    // Whether a port name is a simulator's: its default names are ttySIM0,
    // ttySIM1, ...
    static bool isSimulatorPortName(const QString& port);

    const QString& program() const { return m_program; }
    bool isAvailable() const { return !m_program.isEmpty(); }
    // From start() until it ended or was stopped.
    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    // The port it serves: empty until ready() and after it ended.
    const QString& portName() const { return m_portName; }
    // Its process, 0 when it does not run.
    qint64 processId() const { return m_process.processId(); }

    // Starts it on the first ttySIMn name that none of `takenPorts` has;
    // ready() or failed() tells how it went. Does nothing while it runs.
    void start(const QStringList& takenPorts);
    // Ends it and waits until it has ended (bounded by the waits above);
    // stopped() follows. Does nothing when it does not run.
    void stop();

signals:
    void ready(const QString& port);
    // It did not start, did not name its port in time, or ended without
    // being stopped: `reason` in words for the user, and the end of what
    // the simulator said on its standard error (its own words, not yet
    // escaped for a window; empty when it said nothing).
    void failed(const QString& reason, const QString& said);
    void stopped();

private:
    void onOutput();
    void onErrorOutput();
    void onProcessError(QProcess::ProcessError error);
    void onFinished(int exitCode, QProcess::ExitStatus status);
    void onReadyTimeout();
    void fail(const QString& reason);
    void endProcess();
    static QString freeName(const QStringList& takenPorts);

    QString m_program;
    QProcess m_process;
    QTimer m_readyTimer;
    QByteArray m_firstLine;
    // The end of what it wrote on its standard error, for the failure.
    QByteArray m_errorOutput;
    QString m_portName;
    bool m_stopping = false;
};

} // namespace ZORVI
