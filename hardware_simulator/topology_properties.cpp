#include "hardware_simulator/topology_properties.h"

#include "hardware_simulator/property_answer.h"
#include "kernel_streaming/kernel_streaming.h"

namespace hardware_simulator {

PropertyAnswer AnswerTopologyProperty(const Filter& filter, const PropertyRequest& request)
{
    if (request.id != KSPROPERTY_TOPOLOGY_NODES || !request.IsGet()) return Failure(ERROR_NOT_FOUND);
    std::vector<BYTE> items;
    for (const GUID& node : filter.nodes) AppendBytes(items, node);
    return ListAnswer(items, ULONG(filter.nodes.size()), request.outputSize);
}

}  // namespace hardware_simulator
