#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/** The focus ring of a list, table or tree: drawn by the look-and-feel round
    it, as on the other controls, while the keyboard focus is in it (itself,
    its rows, header or viewport). It lies over the list as its sibling, so it
    is drawn after the list's own outline, and lets the pointer through.
    Declare it after the list it rings. A pane whose children take the focus
    as controls of their own is ringed only while it has the focus itself. */
class ListFocusRing : public juce::Component,
                      private juce::ComponentListener,
                      private juce::FocusChangeListener
{
public:
    explicit ListFocusRing (juce::Component& list, bool whileChildFocused = true);
    ~ListFocusRing() override;

    void paint (juce::Graphics&) override;

private:
    void follow();
    void componentMovedOrResized (juce::Component&, bool, bool) override   { follow(); }
    void componentVisibilityChanged (juce::Component&) override             { follow(); }
    void componentParentHierarchyChanged (juce::Component&) override        { follow(); }
    void componentBeingDeleted (juce::Component&) override;
    void globalFocusChanged (juce::Component*) override;

    bool isRinged() const;

    juce::Component* list;
    const bool whileChildFocused;
    bool shown = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (ListFocusRing)
};
