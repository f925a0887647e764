// How kernel drivers size their property answers: a size query (output size 0) gets
// ERROR_MORE_DATA and the size needed, a buffer too small ERROR_INSUFFICIENT_BUFFER,
// and a KSMULTIPLE_ITEM list also fits a buffer of just its header.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "hardware_simulator/property_request.h"

namespace hardware_simulator {

// The first `size` bytes of `record`, at the end of `bytes`.
template <typename Record>
void AppendBytes(std::vector<BYTE>& bytes, const Record& record, std::size_t size = sizeof(Record))
{
    std::size_t at = bytes.size();
    bytes.resize(at + size);
    std::memcpy(bytes.data() + at, &record, size);
}

template <typename Record>
std::vector<BYTE> BytesOf(const Record& record)
{
    std::vector<BYTE> bytes(sizeof(Record));
    std::memcpy(bytes.data(), &record, sizeof(Record));
    return bytes;
}

PropertyAnswer Failure(DWORD error);
PropertyAnswer SizedAnswer(std::vector<BYTE> value, DWORD outputSize);
// `items` are the `count` records after the KSMULTIPLE_ITEM header.
PropertyAnswer ListAnswer(const std::vector<BYTE>& items, ULONG count, DWORD outputSize);

}  // namespace hardware_simulator
