#pragma once

#include "Entry.h"
#include "ParameterRules.h"

#include <QList>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace ZORVI {

class Control;

namespace EEPROM {

// The program's image of the device's parameter memory. Entries are named by
// parameter ID; the device describes each one (address, limits, default) and
// its value is read on first use, in runs of consecutive IDs and addresses so
// that a refresh needs few exchanges. Accepted changes are written back by
// the write cycle, 500 ms after the last change, in one request.
class EEP : public QObject {
    Q_OBJECT

public:
    enum Field { FieldValue = 0, FieldNewValue = 1, FieldMinimum = 2, FieldMaximum = 3,
                 FieldDefault = 4 };
    static constexpr int WRITE_DELAY_MS = 500;

    // The controller is not owned.
    EEP(Control* control, bool bLoaded, uint32_t maxIdRun, uint32_t maxAddressRun,
        QObject* parent = nullptr);
    ~EEP() override;

    // True only when the value was accepted as a change that must be written;
    // the write timer is then (re)started.
    bool set(uint16_t id, int value);
    int get(uint16_t id, int field, bool* ok = nullptr);
    int getValue(uint16_t id, bool* ok = nullptr) { return get(id, FieldValue, ok); }
    int getMin(uint16_t id, bool* ok = nullptr) { return get(id, FieldMinimum, ok); }
    int getMax(uint16_t id, bool* ok = nullptr) { return get(id, FieldMaximum, ok); }
    int getDefault(uint16_t id, bool* ok = nullptr) { return get(id, FieldDefault, ok); }
    void clear();

    // Adds every ID not yet known and fetches them together, so that
    // neighbouring IDs and addresses share requests.
    void load(const QList<uint16_t>& ids);
    // A copy of the entry of an ID; false when there is none.
    bool findEntry(uint16_t id, Entry* out) const;
    // Every entry whose value is known, as the device will hold it once the
    // pending changes are written: what the rules check a change against.
    Rules::Parameters snapshot() const;
    // IDs of the entries waiting to be written, in the order of first use.
    QList<uint16_t> changedIds() const;
    bool isWritePending() const { return m_writeTimer.isActive(); }
    // Writes the pending changes now instead of at the timer's expiry, without
    // the cycle's signals. True when there was nothing to write or the device
    // acknowledged the request.
    bool writeChanges();

signals:
    void writeResult(bool bResult);
    void timerStarted();
    void timerFinished();

private slots:
    void onWriteTimeout();

private:
    void add(uint16_t id);
    bool refresh();
    bool indexOfId(uint16_t id, int* index) const;
    bool indexOfAddress(uint16_t address, int* index) const;
    bool describeNewEntries();
    bool readDescribedValues();
    bool describeRun(uint16_t firstId, uint8_t count);
    bool readValueRun(uint16_t firstAddress, uint8_t count);
    void startWriteTimer();
    // Calls request(start, length) for every run of consecutive keys (sorted
    // first) that is at most maxRun long.
    template <typename Request>
    static void forEachRun(QList<uint16_t> keys, uint32_t maxRun, Request request);
    bool writeChangedEntries();

    Control* m_control;
    bool m_bLoaded;
    uint32_t m_maxIdRun;
    uint32_t m_maxAddressRun;
    QList<Entry> m_entries;
    QTimer m_writeTimer;
};

} // namespace EEPROM
} // namespace ZORVI
