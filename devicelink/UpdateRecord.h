#pragma once

#include <cstdint>

namespace ZORVI {

// One record of an update file, whole: its two-byte length field followed by
// the data. It goes to the device unchanged as the payload of one packet.
//
// The nodes form a singly linked list in file order. The update that read
// them owns the buffers and the nodes and frees them; a record frees only its
// own buffer, never the rest of the list (a long list would otherwise be torn
// down recursively).
struct UpdateRecord {
    UpdateRecord() = default;
    ~UpdateRecord() { delete[] data; }
    UpdateRecord(const UpdateRecord&) = delete;
    UpdateRecord& operator=(const UpdateRecord&) = delete;

    uint8_t* data = nullptr;
    uint16_t size = 0;
    UpdateRecord* next = nullptr;
};

} // namespace ZORVI
