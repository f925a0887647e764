#include "volume_panel/application/single_instance.h"

namespace volume_panel {

SingleInstance::SingleInstance(const juce::String& name)
    : applicationName(name),
      lock("velmoraAppLock_" + name)
{
}

SingleInstance::~SingleInstance()
{
    if (onLaterStart)
        juce::MessageManager::getInstance()->deregisterBroadcastListener(this);
}

bool SingleInstance::forwardToRunningInstance(const juce::StringArray& arguments)
{
    if (lock.enter(0))
        return false;

    juce::MessageManager::broadcastMessage(applicationName + "/" + arguments.joinIntoString(" "));
    return true;
}

void SingleInstance::listenForLaterStarts(std::function<void(const juce::String&)> handler)
{
    if (! onLaterStart)
        juce::MessageManager::getInstance()->registerBroadcastListener(this);
    onLaterStart = std::move(handler);
}

void SingleInstance::actionListenerCallback(const juce::String& message)
{
    const juce::String prefix = applicationName + "/";
    if (message.startsWith(prefix))
        onLaterStart(message.substring(prefix.length()));
}

}  // namespace volume_panel
