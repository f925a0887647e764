#include "hardware_simulator/property_answer.h"

#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

PropertyAnswer Failure(DWORD error)
{
    return {error, 0, {}};
}

PropertyAnswer SizedAnswer(std::vector<BYTE> value, DWORD outputSize)
{
    DWORD size = DWORD(value.size());
    if (outputSize == 0) return {ERROR_MORE_DATA, size, {}};
    if (outputSize < size) return Failure(ERROR_INSUFFICIENT_BUFFER);
    return {ERROR_SUCCESS, size, std::move(value)};
}

PropertyAnswer ListAnswer(const std::vector<BYTE>& items, ULONG count, DWORD outputSize)
{
    KsMultipleItem header{ULONG(sizeof(KsMultipleItem) + items.size()), count};
    std::vector<BYTE> list = BytesOf(header);
    if (outputSize == sizeof(KsMultipleItem)) return {ERROR_SUCCESS, DWORD(list.size()), list};
    list.insert(list.end(), items.begin(), items.end());
    return SizedAnswer(std::move(list), outputSize);
}

}  // namespace hardware_simulator
