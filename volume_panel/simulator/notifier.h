// The thread on which the simulated audio service calls the endpoint-change callbacks,
// as Windows does from a thread of its own.
#pragma once

#include "volume_panel/simulator/simulated_audio.h"

#include <windows.h>
#include <endpointvolume.h>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace simulated_audio {

class Notifier
{
public:
    static Notifier& instance();

    void queue(std::size_t device, Direction direction, unsigned generation,
               const AUDIO_VOLUME_NOTIFICATION_DATA& data);
    void waitUntilIdle();
    int delivered();
    void resetDeliveredCount();

    // Held while callbacks run, and by unregistration, so that a callback is never
    // called once UnregisterControlChangeNotify has returned.
    std::mutex deliveryMutex;

private:
    struct Pending
    {
        std::size_t device;
        Direction direction;
        unsigned generation;
        AUDIO_VOLUME_NOTIFICATION_DATA data;
    };

    Notifier();
    void run();
    void deliver(const Pending& notification);

    std::mutex queueMutex;
    std::condition_variable changed;
    std::deque<Pending> pending;
    bool delivering = false;
    int deliveredCount = 0;
};

}  // namespace simulated_audio
