// The X declarations of JUCE's Linux windowing; they must come before any JUCE header here.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "gui/widgets/WindowStacking.h"

namespace
{
    bool isOtherWindow (const juce::Component* c, const juce::Component& window)
    {
        return c != nullptr && c != &window && c->isShowing() && c->getPeer() != nullptr
            && dynamic_cast<const juce::TopLevelWindow*> (c) != nullptr;
    }

    juce::Component* openerOf (juce::Component& window)
    {
        if (auto* focused = juce::Component::getCurrentlyFocusedComponent(); focused != nullptr && isOtherWindow (focused->getTopLevelComponent(), window))
            return focused->getTopLevelComponent();

        // The window itself is already modal when it shows: the one under it comes next.
        auto& modals = *juce::ModalComponentManager::getInstance();

        for (int i = 0; i < modals.getNumModalComponents(); ++i)
            if (auto* c = modals.getModalComponent (i); isOtherWindow (c, window))
                return c;

        auto& desktop = juce::Desktop::getInstance();

        for (int i = desktop.getNumComponents(); --i >= 0;)
            if (auto* c = desktop.getComponent (i); isOtherWindow (c, window))
                return c;

        return nullptr;
    }
}

void WindowStacking::keepAboveOpener (juce::Component& window)
{
   #if JUCE_LINUX || JUCE_BSD
    auto* windowing = juce::XWindowSystem::getInstanceWithoutCreating();
    auto* peer = window.getPeer();
    auto* opener = openerOf (window);

    if (windowing == nullptr || peer == nullptr || opener == nullptr)
        return;

    const auto owner = (::Window) opener->getPeer()->getNativeHandle();
    juce::XWindowSystemUtilities::ScopedXLock lock;
    juce::X11Symbols::getInstance()->xChangeProperty (windowing->getDisplay(), (::Window) peer->getNativeHandle(), XA_WM_TRANSIENT_FOR,
                                                      XA_WINDOW, 32, PropModeReplace, reinterpret_cast<const unsigned char*> (&owner), 1);
   #else
    juce::ignoreUnused (window);
   #endif
}
