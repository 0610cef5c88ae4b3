#pragma once

// Driving a dialog as the user would: finding its children by name, clicking,
// running it modally with something done while it is open.

#include "gui/dialogs/BelvoraDialog.h"
#include "gui/widgets/Alerts.h"
#include "gui/widgets/FileChoosers.h"
#include "support/SettingsFixture.h"
#include "support/TestEnvironment.h"

#include <gtest/gtest.h>

namespace DialogTests
{
    /** The first component of that name below root, of that type; null when there is none. */
    template <typename Type = juce::Component>
    Type* find (juce::Component& root, const juce::String& name)
    {
        for (auto* child : root.getChildren())
        {
            if (child->getName() == name)
                if (auto* typed = dynamic_cast<Type*> (child))
                    return typed;

            if (auto* below = find<Type> (*child, name))
                return below;
        }

        return nullptr;
    }

    template <typename Type = juce::Component>
    Type& get (juce::Component& root, const juce::String& name)
    {
        auto* found = find<Type> (root, name);
        EXPECT_NE (found, nullptr) << "no " << name;

        if (found == nullptr)
            throw std::runtime_error ("no " + name.toStdString());

        return *found;
    }

    inline juce::String textOf (juce::Component& root, const juce::String& labelName)
    {
        return get<juce::Label> (root, labelName).getText();
    }

    /** Delivers every message posted so far: a marker posted now arrives after them. */
    inline void deliverPosted()
    {
        auto arrived = std::make_shared<bool> (false);
        juce::MessageManager::callAsync ([arrived] { *arrived = true; });
        TestEnvironment::runMessageLoopUntil ([arrived] { return *arrived; });
    }

    /** A click as the user's: nothing happens on a disabled button. */
    inline void click (juce::Button& button)
    {
        button.triggerClick();
        deliverPosted();
    }

    /** The buttons of a box or prompt, by their text. */
    inline juce::Button* buttonWithText (juce::Component& root, const juce::String& text)
    {
        for (auto* child : root.getChildren())
            if (auto* button = dynamic_cast<juce::Button*> (child); button != nullptr && button->getButtonText() == text)
                return button;

        return nullptr;
    }

    inline juce::Component* currentModal()
    {
        return juce::ModalComponentManager::getInstance()->getModalComponent (0);
    }

    /** Runs the dialog modally and, once it is up, does `whileOpen` to it; the modal result. */
    inline int runModally (BelvoraDialog& dialog, std::function<void (BelvoraDialog&)> whileOpen)
    {
        struct Driver : juce::Timer
        {
            Driver (BelvoraDialog& d, std::function<void (BelvoraDialog&)> f) : dialog (d), action (std::move (f)) { startTimer (5); }

            void timerCallback() override
            {
                if (currentModal() != &dialog)
                    return;

                stopTimer();
                action (dialog);
            }

            BelvoraDialog& dialog;
            std::function<void (BelvoraDialog&)> action;
        };

        Driver driver (dialog, std::move (whileOpen));
        return dialog.runModal();
    }

    /** Settings on a fresh private home, and skipped without a display. */
    class DisplayTest : public SettingsFixture
    {
    protected:
        void SetUp() override
        {
            if (! TestEnvironment::hasDisplay())
                GTEST_SKIP() << "needs a display";

            SettingsFixture::SetUp();
        }
    };

    /** Records the alert boxes shown and answers them. */
    struct AlertLog
    {
        explicit AlertLog (bool answer = true)
            : responder ([this, answer] (const Alerts::Box& box) { boxes.push_back (box); return answer; })
        {
        }

        std::vector<Alerts::Box> boxes;
        Alerts::ScopedResponder responder;
    };

    /** Answers every file chooser with the given files (none: cancelled) and remembers the requests. */
    struct ChooserAnswers
    {
        template <typename... Files>
        explicit ChooserAnswers (const Files&... chosen)
            : files { chosen... },
              responder ([this] (const FileChoosers::Request& r) { requests.push_back (r); return files; })
        {
        }

        juce::Array<juce::File> files;

        std::vector<FileChoosers::Request> requests;
        FileChoosers::ScopedResponder responder;
    };
}
