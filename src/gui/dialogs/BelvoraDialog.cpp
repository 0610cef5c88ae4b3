#include "gui/dialogs/BelvoraDialog.h"

#include "gui/BVLookAndFeel.h"
#include "gui/widgets/FocusKeeper.h"
#include "gui/widgets/RadioGroupTraverser.h"
#include "gui/widgets/WindowStacking.h"

namespace
{
    /** Escape in a one-line text field closes the dialog, as it does from its
        other controls. A field of a label (one being renamed, a combo box's
        text) has its own use of it: it ends the edit first. */
    struct EscapeFromFields : juce::KeyListener
    {
        bool keyPressed (const juce::KeyPress& key, juce::Component* origin) override
        {
            auto* dialog = origin != nullptr ? origin->findParentComponentOfClass<BelvoraDialog>() : nullptr;
            return key == juce::KeyPress (juce::KeyPress::escapeKey) && dialog != nullptr && dialog->escapeKeyPressed();
        }

        static void addTo (juce::Component& parent)
        {
            static EscapeFromFields listener;

            for (auto* child : parent.getChildren())
            {
                if (auto* field = dynamic_cast<juce::TextEditor*> (child); field != nullptr && ! field->isMultiLine()
                                                                            && dynamic_cast<juce::Label*> (&parent) == nullptr)
                    field->addKeyListener (&listener);

                addTo (*child);
            }
        }
    };

    bool hasFocusStop (juce::Component& parent)
    {
        for (auto* child : parent.getChildren())
            if (child->isVisible() && ((child->getWantsKeyboardFocus() && child->isEnabled()) || hasFocusStop (*child)))
                return true;

        return false;
    }
}

BelvoraDialog::BelvoraDialog (const juce::String& title, juce::Colour background,
                              std::unique_ptr<juce::Component> content, juce::Component* parent)
    : juce::DialogWindow (title, background, true, true)
{
    if (auto* laf = BVLookAndFeel::of (*this))
        laf->applyTitleBarHeight (*this);

    setContentOwned (content.release(), true);
    centreAroundComponent (parent, getWidth(), getHeight());
    setResizable (false, false);
    FocusKeeper::keepFor (*this);
    EscapeFromFields::addTo (*getContentComponent());
}

BelvoraDialog::~BelvoraDialog() = default;

int BelvoraDialog::runModal()
{
   #if JUCE_MODAL_LOOPS_PERMITTED
    return runModalLoop();
   #else
    jassertfalse;
    return 0;
   #endif
}

void BelvoraDialog::launch (std::unique_ptr<BelvoraDialog> dialog, std::function<void (int)> onClose)
{
    dialog.release()->enterModalState (true, juce::ModalCallbackFunction::create ([onClose] (int result)
    {
        if (onClose)
            onClose (result);
    }), true);
}

void BelvoraDialog::closeWith (int result)
{
    exitModalState (result);
    setVisible (false);
}

void BelvoraDialog::closeWith (juce::Component& inside, int result)
{
    if (auto* dialog = inside.findParentComponentOfClass<BelvoraDialog>())
        dialog->closeWith (result);
}

void BelvoraDialog::closeButtonPressed()
{
    setVisible (false);
}

void BelvoraDialog::visibilityChanged()
{
    if (isVisible())
    {
        WindowStacking::keepAboveOpener (*this);
        FocusKeeper::noteFocusLeavingFor (*this);

        // Else on what focusGained chooses.
        FocusKeeper::openOn (opening != nullptr ? *opening : *static_cast<juce::Component*> (this));
    }

    juce::DialogWindow::visibilityChanged();
}

void BelvoraDialog::openOn (juce::Component& control)
{
    opening = &control;
}

void BelvoraDialog::focusOfChildComponentChanged (FocusChangeType cause)
{
    juce::DialogWindow::focusOfChildComponentChanged (cause);
    FocusKeeper::focusChanged (*this);
}

void BelvoraDialog::resized()
{
    juce::DialogWindow::resized();

    // The framework's grip is 18 pixels at every scale.
    if (auto* laf = BVLookAndFeel::of (*this))
        for (auto* child : getChildren())
            if (auto* grip = dynamic_cast<juce::ResizableCornerComponent*> (child))
            {
                const auto side = laf->pixels() (18.0f);
                grip->setBounds (getWidth() - side, getHeight() - side, side, side);
            }
}

void BelvoraDialog::focusGained (FocusChangeType)
{
    if (closeTakesKeys())
        focusCloseButtonSoon();
    else
        FocusKeeper::passToContent (*this);
}

void BelvoraDialog::activeWindowStatusChanged()
{
    juce::DialogWindow::activeWindowStatusChanged();

    if (isActiveWindow() && closeTakesKeys())
        focusCloseButtonSoon();
}

// The title bar's buttons are greyed out until the window is active, and made
// anew as it shows: the close button takes the focus once that is done.
void BelvoraDialog::focusCloseButtonSoon()
{
    juce::MessageManager::callAsync ([dialog = juce::Component::SafePointer<BelvoraDialog> (this)]
    {
        auto* close = dialog != nullptr ? dialog->getCloseButton() : nullptr;

        if (close != nullptr && dialog->hasKeyboardFocus (false) && dialog->isActiveWindow() && close->isEnabled() && dialog->closeTakesKeys())
            close->grabKeyboardFocus();
    });
}

// A dialog that only shows things has its close button to take the keys.
bool BelvoraDialog::closeTakesKeys()
{
    auto* close = getCloseButton();

    if (close == nullptr || getContentComponent() == nullptr || hasFocusStop (*getContentComponent()))
        return false;

    close->setWantsKeyboardFocus (true);
    return true;
}

void BelvoraDialog::paintOverChildren (juce::Graphics& g)
{
    auto* close = getCloseButton();
    auto* look = BVLookAndFeel::of (*this);

    if (close != nullptr && look != nullptr && close->hasKeyboardFocus (false))
        look->drawFocusRing (g, close->getBounds().toFloat());
}

bool BelvoraDialog::keyPressed (const juce::KeyPress& key)
{
    return FocusKeeper::pressFocusedButton (*this, key) || FocusKeeper::tabIntoContent (*this, key)
        || RadioGroupTraverser::moveWithin (key)
        || juce::DialogWindow::keyPressed (key);
}

std::unique_ptr<juce::ComponentTraverser> BelvoraDialog::createKeyboardFocusTraverser()
{
    return std::make_unique<RadioGroupTraverser>();
}
