#pragma once

#include "ParameterMemory.h"
#include "SettingsApply.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace ZORVI {

class Control;

namespace EEPROM {

// The settings window's parameter memory: the device's parameters as
// ParameterMemory keeps them, plus the write cycle. Accepted changes are
// written back 500 ms after the last change, in one request, so that a user
// turning a spin box sends one write instead of one per step.
class EEP : public QObject, private ParameterMemory {
    Q_OBJECT

public:
    using ParameterMemory::Field;
    using ParameterMemory::FieldValue;
    using ParameterMemory::FieldNewValue;
    using ParameterMemory::FieldMinimum;
    using ParameterMemory::FieldMaximum;
    using ParameterMemory::FieldDefault;
    static constexpr int WRITE_DELAY_MS = 500;

    // The controller is not owned.
    EEP(Control* control, bool bLoaded, uint32_t maxIdRun, uint32_t maxAddressRun,
        QObject* parent = nullptr);
    ~EEP() override;

    // True only when the value was accepted as a change that must be written;
    // the write timer is then (re)started.
    bool set(uint16_t id, int value);
    using ParameterMemory::get;
    using ParameterMemory::getValue;
    using ParameterMemory::getMin;
    using ParameterMemory::getMax;
    using ParameterMemory::getDefault;
    using ParameterMemory::clear;
    using ParameterMemory::findEntry;
    using ParameterMemory::snapshot;
    using ParameterMemory::Progress;
    using ParameterMemory::loadAll;
    using ParameterMemory::isLoaded;
    using ParameterMemory::isOffered;
    using ParameterMemory::discardChanges;
    using ParameterMemory::forgetValues;

    // False when a request failed (ParameterMemory::load).
    bool load(const QList<uint16_t>& ids);
    QList<uint16_t> changedIds() const;
    bool isWritePending() const { return m_writeTimer.isActive(); }
    // Writes the pending changes now instead of at the timer's expiry, without
    // the cycle's signals. True when there was nothing to write or the device
    // acknowledged the request.
    bool writeChanges();
    // A settings file's (or the factory settings') changes, written at once
    // with any pending ones and read back (SettingsApply::apply); the write
    // cycle has nothing left to do.
    SettingsApply::Result applyAtOnce(const Rules::Changes& changes);
    // Every parameter the programs use as the device holds it, for a
    // settings file (SettingsApply::collect); pending changes go first.
    SettingsApply::Result collect(const DeviceInfo& info, SettingsFile* file);

signals:
    void writeResult(bool bResult);
    void timerStarted();
    void timerFinished();

private slots:
    void onWriteTimeout();

private:
    // The timer's cycle ends here: what it would write is written now.
    void endWriteCycle();

    QTimer m_writeTimer;
};

} // namespace EEPROM
} // namespace ZORVI
