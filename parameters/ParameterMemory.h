#pragma once

#include "Entry.h"
#include "LinkFailure.h"
#include "ParameterRules.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ZORVI {

class Control;

namespace EEPROM {

// The program's image of the device's parameter memory. Entries are named by
// parameter ID; the device describes each one (address, limits, default) and
// its value is read on first use, in runs of consecutive IDs and addresses so
// that a refresh needs few exchanges. Accepted changes stay pending until
// writeChanges() sends them all in one request. No Qt and no timer: the
// command line writes at once, the settings window's EEP adds its write
// cycle around this.
class ParameterMemory {
public:
    enum Field { FieldValue = 0, FieldNewValue = 1, FieldMinimum = 2, FieldMaximum = 3,
                 FieldDefault = 4 };

    // A run of consecutive IDs or addresses that one request covers.
    struct Run {
        uint16_t first;
        uint8_t count;
    };

    // The runs both programs ask for: sixteen descriptors per request, and
    // as many values as one read request carries.
    static constexpr uint32_t DEFAULT_ID_RUN = 16;
    static constexpr uint32_t DEFAULT_ADDRESS_RUN = 127;

    // The controller is not owned. With bLoaded, every newly used ID is
    // fetched at once; otherwise the first refresh fetches them together.
    ParameterMemory(Control* control, bool bLoaded, uint32_t maxIdRun, uint32_t maxAddressRun);
    ParameterMemory(const ParameterMemory&) = delete;
    ParameterMemory& operator=(const ParameterMemory&) = delete;

    // True only when the value was accepted as a change that must be written.
    bool set(uint16_t id, int value);
    int get(uint16_t id, int field, bool* ok = nullptr);
    int getValue(uint16_t id, bool* ok = nullptr) { return get(id, FieldValue, ok); }
    int getMin(uint16_t id, bool* ok = nullptr) { return get(id, FieldMinimum, ok); }
    int getMax(uint16_t id, bool* ok = nullptr) { return get(id, FieldMaximum, ok); }
    int getDefault(uint16_t id, bool* ok = nullptr) { return get(id, FieldDefault, ok); }
    void clear();

    // Adds every ID not yet known and fetches them together, so that
    // neighbouring IDs and addresses share requests.
    void load(const std::vector<uint16_t>& ids);
    // A copy of the entry of an ID; false when there is none.
    bool findEntry(uint16_t id, Entry* out) const;
    // Every entry whose value is known, as the device will hold it once the
    // pending changes are written: what the rules check a change against.
    Rules::Parameters snapshot() const;
    // IDs of the entries waiting to be written, in the order of first use.
    std::vector<uint16_t> changedIds() const;
    // Sends every pending change in one request. True when there was nothing
    // to write or the device acknowledged the request; a refused or lost
    // request leaves the changes pending.
    bool writeChanges();
    // Forgets what is known of the values of these IDs, pending changes
    // included, and reads them from the device again: IDs not yet known are
    // described first, then one read request goes out per run of addresses.
    // The memory then holds what the device really holds; an entry whose
    // run could not be read is left without a value (the next use asks for
    // it again). True when every value was read; else `failure` (if given)
    // tells why the first request that failed did.
    bool reread(const std::vector<uint16_t>& ids, LinkFailure* failure = nullptr);
    // Why the last exchange with the device failed; None when it succeeded.
    LinkFailure lastFailure() const;

    // The keys sorted and cut into runs of consecutive keys, each at most
    // maxRun (and 255) long: the requests a refresh makes.
    static std::vector<Run> runsOf(std::vector<uint16_t> keys, uint32_t maxRun);

private:
    void add(uint16_t id);
    void refresh();
    bool indexOfId(uint16_t id, size_t* index) const;
    bool indexOfAddress(uint16_t address, size_t* index) const;
    // The IDs or the addresses of the entries in a state, in the order of
    // first use.
    using EntryKey = uint16_t (Entry::*)() const;
    std::vector<uint16_t> keysOf(Entry::State state, EntryKey key) const;
    // Each the reason the first of its requests failed; None when all
    // were answered.
    LinkFailure describeNewEntries();
    LinkFailure readDescribedValues();
    bool describeRun(uint16_t firstId, uint8_t count);
    bool readValueRun(uint16_t firstAddress, uint8_t count);
    bool writeChangedEntries();

    Control* m_control;
    bool m_bLoaded;
    uint32_t m_maxIdRun;
    uint32_t m_maxAddressRun;
    std::vector<Entry> m_entries;
};

} // namespace EEPROM
} // namespace ZORVI
