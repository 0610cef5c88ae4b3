#include "gui/datapage/GridMenus.h"

namespace GridMenus
{
    void show (juce::PopupMenu menu, juce::Component& owner, std::function<void (int)> done)
    {
        show (std::move (menu), owner, juce::PopupMenu::Options().withMousePosition(), std::move (done));
    }

    void show (juce::PopupMenu menu, juce::Component& owner, const juce::PopupMenu::Options& where, std::function<void (int)> done)
    {
        if (auto& answer = ScopedResponder::current())
        {
            done (answer (menu));
            return;
        }

        juce::Component::SafePointer<juce::Component> safeOwner (&owner);
        menu.showMenuAsync (where,
                            [safeOwner, done = std::move (done)] (int result)
                            {
                                if (safeOwner != nullptr)
                                    done (result);
                            });
    }

    bool findItem (const juce::PopupMenu& menu, int id, juce::String* text, bool* enabled)
    {
        for (juce::PopupMenu::MenuItemIterator it (menu, true); it.next();)
        {
            const auto& item = it.getItem();

            if (item.itemID == id)
            {
                if (text != nullptr)     *text = item.text;
                if (enabled != nullptr)  *enabled = item.isEnabled;
                return true;
            }
        }

        return false;
    }

    bool invokeCommand (juce::Component& from, int commandId)
    {
        auto* target = juce::ApplicationCommandManager::findTargetForComponent (&from);
        return target != nullptr && target->invoke (juce::ApplicationCommandTarget::InvocationInfo (commandId), false);
    }
}
