#include "volume_panel/simulator/notifier.h"

#include "volume_panel/simulator/simulator_state.h"

#include <thread>

namespace simulated_audio {

Notifier& Notifier::instance()
{
    // Never destroyed: its thread runs until the process ends.
    static Notifier* const notifier = new Notifier();
    return *notifier;
}

Notifier::Notifier()
{
    std::thread([this] { run(); }).detach();
}

void Notifier::queue(std::size_t device, Direction direction, unsigned generation,
                     const AUDIO_VOLUME_NOTIFICATION_DATA& data)
{
    {
        const std::lock_guard<std::mutex> lock(queueMutex);
        pending.push_back({ device, direction, generation, data });
    }
    changed.notify_all();
}

void Notifier::waitUntilIdle()
{
    std::unique_lock<std::mutex> lock(queueMutex);
    changed.wait(lock, [this] { return pending.empty() && ! delivering; });
}

int Notifier::delivered()
{
    const std::lock_guard<std::mutex> lock(queueMutex);
    return deliveredCount;
}

void Notifier::resetDeliveredCount()
{
    const std::lock_guard<std::mutex> lock(queueMutex);
    deliveredCount = 0;
}

void Notifier::run()
{
    for (;;)
    {
        Pending notification;
        {
            std::unique_lock<std::mutex> lock(queueMutex);
            changed.wait(lock, [this] { return ! pending.empty(); });
            notification = pending.front();
            pending.pop_front();
            delivering = true;
        }

        deliver(notification);

        {
            const std::lock_guard<std::mutex> lock(queueMutex);
            delivering = false;
        }
        changed.notify_all();
    }
}

void Notifier::deliver(const Pending& notification)
{
    const std::lock_guard<std::mutex> delivery(deliveryMutex);

    std::vector<IAudioEndpointVolumeCallback*> callbacks;
    {
        SimulatorState& state = SimulatorState::instance();
        const std::lock_guard<std::mutex> lock(state.mutex);
        for (const Registration& registration : state.registrations)
            if (registration.address.device == notification.device
                && registration.address.direction == notification.direction
                && registration.address.generation == notification.generation)
                callbacks.push_back(registration.callback);
    }

    for (IAudioEndpointVolumeCallback* callback : callbacks)
    {
        AUDIO_VOLUME_NOTIFICATION_DATA data = notification.data;
        callback->OnNotify(&data);

        const std::lock_guard<std::mutex> lock(queueMutex);
        ++deliveredCount;
    }
}

}  // namespace simulated_audio
