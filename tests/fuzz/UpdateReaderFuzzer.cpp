// Fuzzes the update file reader with arbitrary file content and checks what
// a valid result promises the transfer: records that add up to totalBytes,
// each as long as its own length field says, and device addresses only.

#include "Update.h"

#include <cstddef>
#include <cstdint>

namespace {

void require(bool condition)
{
    if (!condition)
        __builtin_trap();
}

bool isAddress(int address)
{
    return (address >= 0 && address <= 3) || address == 6 || address == 255;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto update = ZORVI::Update::fromText(reinterpret_cast<const char*>(data), size);
    if (!update)
        return 0;
    require(isAddress(update->entryAddress()) && isAddress(update->targetAddress()));
    if (!update->isValid())
        return 0;

    require(update->records() != nullptr);
    uint64_t sum = 0;
    for (const ZORVI::UpdateRecord* record = update->records(); record; record = record->next) {
        require(record->size >= 2 && record->data != nullptr);
        const uint32_t length = (uint32_t(record->data[0]) << 8) | record->data[1];
        require(length + 2 == record->size);
        sum += record->size;
    }
    require(sum == update->totalBytes());
    require(sum < ZORVI::Update::MAX_VALUES);
    return 0;
}
