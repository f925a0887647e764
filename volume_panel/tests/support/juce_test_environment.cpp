#include "volume_panel/tests/support/juce_test_environment.h"

#include <gtest/gtest.h>
#include <juce_gui_basics/juce_gui_basics.h>

#include <windows.h>

namespace {

class JuceEnvironment : public testing::Environment
{
public:
    void SetUp() override { initialiser = new juce::ScopedJuceInitialiser_GUI(); }
    void TearDown() override { delete initialiser; }

private:
    juce::ScopedJuceInitialiser_GUI* initialiser = nullptr;
};

const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new JuceEnvironment());

void dispatchPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

}  // namespace

bool pumpMessagesUntil(const std::function<bool()>& done, int timeoutMilliseconds)
{
    const auto deadline = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMilliseconds);
    for (;;)
    {
        dispatchPendingMessages();
        if (done())
            return true;
        if (juce::Time::getMillisecondCounter() >= deadline)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pumpMessagesFor(int milliseconds)
{
    pumpMessagesUntil([] { return false; }, milliseconds);
}
