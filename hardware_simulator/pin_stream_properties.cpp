#include "hardware_simulator/pin_stream_properties.h"

#include "hardware_simulator/property_answer.h"
#include "hardware_simulator/simulator_state.h"

namespace hardware_simulator {

PropertyAnswer AnswerConnectionProperty(const PinPropertyRequest& request)
{
    if (request.id != KSPROPERTY_CONNECTION_STATE) return Failure(ERROR_NOT_FOUND);
    if (request.IsGet()) return SizedAnswer(BytesOf(request.pin->state), request.outputSize);
    if (!request.IsSet()) return Failure(ERROR_NOT_FOUND);
    std::optional<ULONG> state = request.SetValue();
    if (!state) return Failure(ERROR_INSUFFICIENT_BUFFER);
    if (*state > KSSTATE_RUN) return Failure(ERROR_INVALID_PARAMETER);
    DeliverCancellations(*request.pin, request.pin->SetState(*state));
    return {};
}

PropertyAnswer AnswerAudioProperty(const PinPropertyRequest& request)
{
    if (request.id != KSPROPERTY_AUDIO_POSITION || !request.IsGet()) return Failure(ERROR_NOT_FOUND);
    return SizedAnswer(BytesOf(request.pin->Position()), request.outputSize);
}

PropertyAnswer AnswerPinHint(const PinPropertyRequest& request)
{
    if (request.id != PinHintPropertyId || !request.IsSet()) return Failure(ERROR_NOT_FOUND);
    if (!request.SetValue()) return Failure(ERROR_INSUFFICIENT_BUFFER);
    return {};
}

}  // namespace hardware_simulator
