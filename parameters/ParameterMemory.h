#pragma once

#include "Entry.h"
#include "LinkFailure.h"
#include "ParameterRules.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace ZORVI {

class Control;

namespace EEPROM {

// The program's image of the device's parameter memory. Entries are named by
// parameter ID; the device describes each one (address, limits, default) and
// holds its value. load() reads them all at once, right after connecting, in
// the fewest requests the protocol allows: a descriptor request may span IDs
// the device does not use, a value read words that hold no parameter. The
// first request that fails ends the load: nothing is asked again behind the
// user's back, and the caller says what failed. Afterwards every getter
// answers from memory; none of them talks to the device. Accepted changes
// stay pending until writeChanges() sends them all in one request. No Qt and
// no timer: the command line writes at once, the settings window's EEP adds
// its write cycle around this.
class ParameterMemory {
public:
    enum Field { FieldValue = 0, FieldNewValue = 1, FieldMinimum = 2, FieldMaximum = 3,
                 FieldDefault = 4 };

    // The IDs or words one request covers, from `first` on: the keys asked
    // for within them and those between (which the device answers as having
    // no parameter, or as words nobody reads).
    struct Run {
        uint16_t first;
        uint8_t count;
    };

    // The spans both programs ask for: sixteen descriptors per request, and
    // as many values as one read request carries.
    static constexpr uint32_t DEFAULT_ID_RUN = 16;
    static constexpr uint32_t DEFAULT_ADDRESS_RUN = 127;

    // How far a load has come: requests answered, and requests it needs
    // (known once the descriptors have given the addresses).
    using Progress = std::function<void(size_t done, size_t total)>;

    // The controller is not owned. bLoaded tells whether the memory counts
    // as loaded from the start (the device was read elsewhere).
    ParameterMemory(Control* control, bool bLoaded, uint32_t maxIdRun, uint32_t maxAddressRun);
    ParameterMemory(const ParameterMemory&) = delete;
    ParameterMemory& operator=(const ParameterMemory&) = delete;

    // True only when the value was accepted as a change that must be written:
    // the entry has a value from the device, the value lies within the
    // device's limits and differs from what the device holds.
    bool set(uint16_t id, int value);
    // From memory only: `ok` is false for an ID that was not read (or that
    // the device does not offer).
    int get(uint16_t id, int field, bool* ok = nullptr) const;
    int getValue(uint16_t id, bool* ok = nullptr) const { return get(id, FieldValue, ok); }
    int getMin(uint16_t id, bool* ok = nullptr) const { return get(id, FieldMinimum, ok); }
    int getMax(uint16_t id, bool* ok = nullptr) const { return get(id, FieldMaximum, ok); }
    int getDefault(uint16_t id, bool* ok = nullptr) const { return get(id, FieldDefault, ok); }
    void clear();

    // Describes every ID not yet described and reads every value not yet
    // read: first the descriptors, then the values, in spanning runs. Ends
    // at the first request that fails (lastFailure() tells why) and then
    // returns false; the entries already read keep what they were given.
    // An ID the device answers as unknown is not offered by this device:
    // that is an answer, not a failure, and it is not asked for again.
    bool load(const std::vector<uint16_t>& ids, const Progress& progress = {});
    // Every parameter the programs use (EEPROM::PARAMETER_NAMES).
    bool loadAll(const Progress& progress = {});
    bool isLoaded() const { return m_bLoaded; }
    // False for an ID the device answered it has no such parameter.
    bool isOffered(uint16_t id) const;
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
    // True while every value is as it was read from the device: no write
    // was acknowledged since (a device may acknowledge and store otherwise).
    bool holdsValuesAsRead() const { return m_valuesAsRead; }
    // Pending changes dropped: every entry shows again what the device was
    // read to hold (after the device refused them, say).
    void discardChanges();
    // What the memory holds of these IDs' values is no longer known (a
    // write whose answer was lost may or may not have been stored): they
    // read as unknown until read again.
    void forgetValues(const std::vector<uint16_t>& ids);
    // Forgets what is known of the values of these IDs, pending changes
    // included, and reads them from the device again as load() does. The
    // memory then holds what the device really holds; an entry whose run
    // could not be read is left without a value. True when every value was
    // read; else `failure` (if given) tells why the request that failed did.
    bool reread(const std::vector<uint16_t>& ids, LinkFailure* failure = nullptr);
    // Why the last exchange with the device failed; None when it succeeded.
    LinkFailure lastFailure() const;

    // The keys sorted and cut into the fewest runs that cover them, each
    // from a key to the last key within maxRun (and 255) of it: the
    // requests a load makes.
    static std::vector<Run> runsOf(std::vector<uint16_t> keys, uint32_t maxRun);
    // How many requests a load of these IDs makes before it knows the
    // addresses: the descriptor runs.
    size_t descriptorRequests(const std::vector<uint16_t>& ids) const;

private:
    void add(uint16_t id);
    bool indexOfId(uint16_t id, size_t* index) const;
    bool indexOfAddress(uint16_t address, size_t* index) const;
    // The IDs or the addresses of the entries in a state, in the order of
    // first use.
    using EntryKey = uint16_t (Entry::*)() const;
    std::vector<uint16_t> keysOf(Entry::State state, EntryKey key) const;
    // Each ends at the first request that fails and returns false.
    bool describeNewEntries(size_t* done, size_t total, const Progress& progress);
    bool readDescribedValues(size_t* done, size_t total, const Progress& progress);
    bool describeRun(const Run& run);
    bool readValueRun(const Run& run);
    bool writeChangedEntries();

    Control* m_control;
    bool m_bLoaded;
    uint32_t m_maxIdRun;
    uint32_t m_maxAddressRun;
    std::vector<Entry> m_entries;
    // IDs the device answered it has no such parameter for.
    std::vector<uint16_t> m_notOffered;
    bool m_valuesAsRead = true;
};

} // namespace EEPROM
} // namespace ZORVI
