#include "gui/widgets/NavigationKeys.h"

namespace
{
    // The framework marks the keys beyond Latin-1 (F1, the arrows) by one high
    // bit over the low byte of their X key symbol; the Menu key is XK_Menu, 0xff67.
    const int menuKeyCode = (juce::KeyPress::F1Key & ~0xff) | 0x67;

    int pageStep (const juce::KeyPress& key)
    {
        const auto mods = key.getModifiers();

        if (! mods.isCtrlDown() || mods.isAltDown())
            return 0;

        const auto code = key.getKeyCode();

        if (code == juce::KeyPress::tabKey)
            return mods.isShiftDown() ? -1 : 1;

        if (mods.isShiftDown())
            return 0;

        return code == juce::KeyPress::pageDownKey ? 1 : code == juce::KeyPress::pageUpKey ? -1 : 0;
    }
}

namespace NavigationKeys
{
    bool turnPage (juce::TabbedComponent& tabs, const juce::KeyPress& key)
    {
        const auto step = pageStep (key);

        if (step == 0)
            return false;

        // Consumed even where there is no other page: left alone, Ctrl+Tab would move on as Tab does.
        const auto count = tabs.getNumTabs();
        auto& bar = tabs.getTabbedButtonBar();

        for (int i = 1; i < count; ++i)
        {
            const auto index = (tabs.getCurrentTabIndex() + step * i + count) % count;

            if (auto* button = bar.getTabButton (index); button == nullptr || ! button->isEnabled())
                continue;

            tabs.setCurrentTabIndex (index);

            if (auto* page = tabs.getCurrentContentComponent(); page != nullptr && page->isShowing())
                page->grabKeyboardFocus();

            break;
        }

        return true;
    }

    bool isPageKey (const juce::KeyPress& key)
    {
        return pageStep (key) != 0;
    }

    bool hasPageToTurnTo (juce::TabbedComponent& tabs)
    {
        for (int i = 0; i < tabs.getNumTabs(); ++i)
            if (auto* button = tabs.getTabbedButtonBar().getTabButton (i); i != tabs.getCurrentTabIndex() && button != nullptr && button->isEnabled())
                return true;

        return false;
    }

    bool opensContextMenu (const juce::KeyPress& key)
    {
        return key == juce::KeyPress (juce::KeyPress::F10Key, juce::ModifierKeys::shiftModifier, 0)
            || key.getKeyCode() == menuKeyCode;
    }

    bool passMenuKey (juce::Component& window, bool isKeyDown)
    {
        auto* peer = window.getPeer();

        if (! isKeyDown || peer == nullptr || ! juce::KeyPress::isKeyCurrentlyDown (menuKeyCode))
            return false;

        return peer->handleKeyPress (juce::KeyPress (menuKeyCode));
    }

    juce::PopupMenu::Options besideArea (juce::Component& c, juce::Rectangle<int> area)
    {
        return juce::PopupMenu::Options().withTargetScreenArea (c.localAreaToGlobal (area));
    }
}
