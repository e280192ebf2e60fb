#pragma once

#include "DeviceInfo.h"
#include "UpdateRecord.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace ZORVI {

// One firmware update file (*.upd), read and checked in memory.
//
// The file is hexadecimal text: byte values of one or two digits separated by
// white space (two adjacent digits form one byte, the next digit starts the
// next byte). The bytes form a big-endian header protected by a CRC-16,
// followed by the records that go to the device one packet each:
//
//   kind 1: kind(2)=1 length(4)=22 hwMajor hwMinor app(3x2) data(2x2)
//           entry target crc(2)
//   kind 2: as kind 1 up to the addresses, then descriptionLength(4)=n,
//           n bytes of description, crc(2); length = 26 + n
//   record: length L (2), then L bytes
//
// A reader is made for one reading and never changes afterwards. It reports
// nothing; anything it cannot accept leaves isValid() false. Within the
// first MAX_VALUES byte values, text holding a character that is neither a
// hex digit nor white space, a record longer than a 16-bit record size
// allows, a last record cut short, and running out of memory all make the
// file not valid. Text after those MAX_VALUES values is not read at all,
// not even checked for hex digits: a longer file whose records end exactly
// at the cap passes as the image up to the cap.
class Update {
public:
    // The most byte values read from a file; the rest is not read.
    static constexpr uint32_t MAX_VALUES = 0x30000;
    // L + 2 must fit the 16-bit record size.
    static constexpr uint32_t MAX_RECORD_LENGTH = 0xFFFF - 2;

    explicit Update(const char* path);
    // The same reading from text already in memory (the file's content).
    // Null only when the reader itself cannot be allocated.
    static std::unique_ptr<Update> fromText(const char* text, size_t length);

    virtual ~Update();
    Update(const Update&) = delete;
    Update& operator=(const Update&) = delete;

    bool isValid() const { return m_valid; }
    // Why the file is not valid, for a caller that explains it to the user.
    enum class Problem {
        None,
        Unreadable,      // the file does not open
        NotHexText,      // a character other than hex digits and white space
        TooShort,        // fewer than 6 byte values
        UnknownKind,     // format kind other than 1 or 2
        HeaderLength,    // header length does not fit the kind (or the description)
        NoRecords,       // the header takes up the whole file
        HeaderCrc,       // the header CRC does not check out
        RecordTooLong,   // a record length field above MAX_RECORD_LENGTH
        RecordsDoNotFit, // the records do not end exactly at the end of the file
        OutOfMemory
    };
    Problem problem() const { return m_problem; }

    // Versions in the device information layout: bytes 0-3 data version,
    // 4-9 application version, 10 hardware major, 11 hardware minor (255
    // means any minor), the rest zero.
    DeviceInfo versionInfo() const { return m_versionInfo; }
    // The kind-2 description, NUL-terminated, or null.
    const char* description() const { return m_description; }
    // Sum of all record sizes, length fields included.
    uint32_t totalBytes() const { return m_totalBytes; }
    // Number of records, each one packet on the wire.
    uint32_t recordCount() const { return m_recordCount; }
    // Device addresses 0, 1, 2, 3 or 6; 255 for any other value.
    int entryAddress() const { return m_entryAddress; }
    int targetAddress() const { return m_targetAddress; }
    // First record in file order, or null.
    const UpdateRecord* records() const { return m_records; }

private:
    Update() = default;

    void readText(const char* text, size_t length);
    void parse(const uint8_t* image, uint32_t count);
    bool refuse(Problem problem);
    bool checkHeader(const uint8_t* image, uint32_t count, uint32_t* headerLength);
    bool takeHeaderFields(const uint8_t* image, uint32_t headerLength);
    bool takeRecords(const uint8_t* image, uint32_t count, uint32_t headerLength);
    bool appendRecord(const uint8_t* bytes, uint16_t size, UpdateRecord** tail);
    void freeRecords();

    bool m_valid = false;
    Problem m_problem = Problem::None;
    uint32_t m_totalBytes = 0;
    uint32_t m_recordCount = 0;
    int m_entryAddress = 255;
    int m_targetAddress = 255;
    char* m_description = nullptr;
    UpdateRecord* m_records = nullptr;
    DeviceInfo m_versionInfo;
};

} // namespace ZORVI
