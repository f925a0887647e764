#include "hardware_simulator/topology_properties.h"

#include "driver/engine/kernel_streaming.h"
#include "hardware_simulator/property_answer.h"

namespace hardware_simulator {

PropertyAnswer AnswerTopologyProperty(const Filter& filter, const PropertyRequest& request)
{
    if (request.id != KSPROPERTY_TOPOLOGY_NODES || !request.IsGet()) return Failure(ERROR_NOT_FOUND);
    std::vector<BYTE> items;
    for (const GUID& node : filter.nodes) AppendBytes(items, node);
    return ListAnswer(items, ULONG(filter.nodes.size()), request.outputSize);
}

}  // namespace hardware_simulator
