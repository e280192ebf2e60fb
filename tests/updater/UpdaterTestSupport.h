#pragma once

// What the updater window tests share: the widgets looked up by name, the
// simulator's identity and what its log says about a run, and a folder per
// test for update files and the update records.

#include "ConnectionText.h"
#include "Control.h"
#include "DeviceConnection.h"
#include "DeviceInfo.h"
#include "InProcessDevice.h"
#include "SimulatedLink.h"
#include "StateFolderVariable.h"
#include "UpdateImage.h"
#include "WindowChild.h"

#include <QComboBox>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMap>
#include <QPushButton>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <array>
#include <memory>
#include <string>
#include <vector>

// The simulator program on a pseudo-terminal: Linux only.
#ifndef _WIN32
#include "SimulatorProcess.h"
#endif

namespace UpdaterTest {

// Straight to the window's handler: QApplication delivers drop events only
// inside a drag that its drag manager runs.
inline void deliver(QWidget& window, QEvent& event)
{
    static_cast<QObject&>(window).event(&event);
}

constexpr int PORT_LIST_WAIT_MS = 3000;
inline const char* const FILE_LABELS[] = {"m_lblFileHWVer", "m_lblFileAppVer",
                                          "m_lblFileEEPVer"};
inline const char* const DEVICE_LABELS[] = {"m_lblZorviHWVer", "m_lblZorviAppVer",
                                            "m_lblZorviEEPVer", "m_lblZorviSerial"};

// The simulator's identity (its defaults) and what it reports after a
// transfer.
inline const char* const SIM_APPLICATION = "3.1.7";
inline const char* const SIM_HARDWARE = "8.2";
inline const char* const SIM_DATA = "1.2";
inline const char* const SIM_UPDATED_APPLICATION = "3.1.8";
inline const char* const SIM_UPDATED_DATA = "1.3";
inline const std::array<uint8_t, 12> SIM_SERIAL_ON_WIRE = {
    0x5A, 0x17, 0xC3, 0x08, 0xE2, 0x4D, 0x91, 0x2B, 0xE6, 0x70, 0x3F, 0xA4};

inline QString simSerialLabel()
{
    ZORVI::DeviceInfo info;
    for (size_t k = 0; k < SIM_SERIAL_ON_WIRE.size(); ++k)
        info.bytes[ZORVI::DeviceInfo::SERIAL_OFFSET + k] = SIM_SERIAL_ON_WIRE[11 - k];
    return QString::fromStdString(info.serialLabelText());
}

// What the windows say of a device that was not found for this reason on the
// link (the shared formatter's sentence).
inline QString noDeviceSentence(ZORVI::LinkFailure failure)
{
    ZORVI::DeviceConnection::Result result;
    result.outcome = ZORVI::DeviceConnection::Outcome::NoDevice;
    result.linkFailure = failure;
    return ZORVI::ConnectionText::sentence(result);
}

inline QString text(const QWidget& window, const char* labelName)
{
    auto* label = window.findChild<QLabel*>(QLatin1String(labelName));
    return label ? label->text() : QStringLiteral("<no label %1>").arg(labelName);
}

inline QStringList texts(const QWidget& window, const char* const (&names)[3])
{
    QStringList out;
    for (const char* name : names)
        out << text(window, name);
    return out;
}

inline QStringList deviceLabels(const QWidget& window)
{
    QStringList out;
    for (const char* name : DEVICE_LABELS)
        out << text(window, name);
    return out;
}

inline QComboBox* portCombo(const QWidget& window)
{
    return child<QComboBox>(window, "m_cmbBoxZorvilink");
}

inline QPushButton* startButton(const QWidget& window)
{
    return child<QPushButton>(window, "m_btnUpdate");
}

inline QTimer* interfaceTimer(const QWidget& window)
{
    return child<QTimer>(window, "m_interfaceTimer");
}

inline bool waitUntilListed(const QWidget& window, const QString& port)
{
    return QTest::qWaitFor([&] { return portCombo(window)->findText(port) >= 0; },
                           PORT_LIST_WAIT_MS);
}

// Selecting a port asks the device at once (the refresh runs inside).
inline void selectPort(const QWidget& window, const QString& port)
{
    QComboBox* combo = portCombo(window);
    combo->setCurrentIndex(combo->findText(port));
}

// The port can be opened, so nobody holds it (ports open exclusively).
inline bool portIsFree(const std::string& port)
{
    ZORVI::Control probe;
    const bool opened = probe.testInterface(port.c_str());
    probe.close();
    return opened;
}

// The port of an in-process device can be opened: the window let it go.
inline bool portIsFree(InProcessDevice& device)
{
    const std::unique_ptr<ZORVI::Control> probe = device.control();
    const bool opened = probe->testInterface(device.portName().c_str());
    probe->close();
    return opened;
}

// Update records (command 1) that reached a device address.
inline int recordsReceived(const ZORVI::Simulator::SimulatedLink& link, int32_t targetAddress)
{
    int count = 0;
    for (const auto& request : link.requests(1))
        count += request.destination == targetAddress ? 1 : 0;
    return count;
}

inline int modeRequests(const ZORVI::Simulator::SimulatedLink& link)
{
    return static_cast<int>(link.requests(0).size());
}

#ifndef _WIN32
inline int recordsReceived(const ZORVI::Testing::SimulatorProcess& sim, int32_t targetAddress)
{
    const std::string prefix = "request dst=" + std::to_string(targetAddress) + " src=6 cmd=1 ";
    int count = 0;
    for (const std::string& line : sim.logLines("request"))
        count += line.rfind(prefix, 0) == 0 ? 1 : 0;
    return count;
}

inline int modeRequests(const ZORVI::Testing::SimulatorProcess& sim)
{
    int count = 0;
    for (const std::string& line : sim.logLines("request"))
        count += line.find(" cmd=0 ") != std::string::npos ? 1 : 0;
    return count;
}
#endif

inline std::vector<std::string> arguments(const QStringList& list)
{
    std::vector<std::string> out;
    for (const QString& item : list)
        out.push_back(item.toStdString());
    return out;
}

inline QByteArray bytes(const UpdateImage::Bytes& image)
{
    return QByteArray(reinterpret_cast<const char*>(image.data()), int(image.size()));
}

// Hardware 8 of any minor, application 3.1.8 and data 1.3: what the
// simulator reports after taking it.
inline UpdateImage::Header runHeader()
{
    UpdateImage::Header header;
    header.hardwareMajor = 8;
    header.application[2] = 8; // 3.1.8
    header.data[1] = 3;        // 1.3
    return header;
}

// Three records of 100, 100 and 50 bytes, length fields included.
inline UpdateImage::Bytes threeRecords()
{
    return UpdateImage::join(
        {UpdateImage::record(98, 0x10), UpdateImage::record(98, 0x80), UpdateImage::record(48)});
}

// A file's bytes; empty when it cannot be read.
inline QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString sha256Hex(const QByteArray& bytes)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

// A line of the update records by field name: the time first, then
// "key=value" fields separated by tabs.
inline QMap<QString, QString> journalFields(const QString& line)
{
    QMap<QString, QString> fields;
    const QStringList parts = line.split('\t');
    fields.insert(QStringLiteral("time"), parts.value(0));
    for (const QString& part : parts.mid(1)) {
        const int equals = part.indexOf('=');
        fields.insert(part.left(equals), part.mid(equals + 1));
    }
    return fields;
}

// A folder of the test's own for update files, with the update records
// (XDG_STATE_HOME, on Windows LOCALAPPDATA) inside it for as long as it lives.
class TestFolder {
public:
    static constexpr const char* STATE_VARIABLE = STATE_FOLDER_VARIABLE;

    TestFolder()
        : m_hadState(qEnvironmentVariableIsSet(STATE_VARIABLE))
        , m_oldState(qgetenv(STATE_VARIABLE))
    {
        // As the system sets it: with backslashes on Windows.
        qputenv(STATE_VARIABLE,
                QFile::encodeName(QDir::toNativeSeparators(m_dir.filePath("state"))));
    }
    ~TestFolder()
    {
        if (m_hadState)
            qputenv(STATE_VARIABLE, m_oldState);
        else
            qunsetenv(STATE_VARIABLE);
    }
    TestFolder(const TestFolder&) = delete;
    TestFolder& operator=(const TestFolder&) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // The image as the hexadecimal text of an update file; the path, or
    // empty when it could not be written.
    QString writeFile(const QString& name, const UpdateImage::Bytes& image) const
    {
        const QString path = filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        file.write(QByteArray::fromStdString(UpdateImage::text(image, "\n")));
        return path;
    }

    QString writeRunFile() const
    {
        return writeFile("run.upd",
                         UpdateImage::join({UpdateImage::header(runHeader()), threeRecords()}));
    }

    QString journalPath() const { return filePath("state/zorvik/updates.log"); }

    // The update records' lines; none while the file does not exist.
    QStringList journalLines() const
    {
        QFile journal(journalPath());
        if (!journal.open(QIODevice::ReadOnly))
            return QStringList();
        return QString::fromUtf8(journal.readAll()).split('\n', Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir m_dir;
    bool m_hadState;
    QByteArray m_oldState;
};

} // namespace UpdaterTest
