#pragma once

#include "gallery/Gallery.h"

#include <functional>

class RunningApp;

/** The running program photographed: started with the sample content and the
    given simulated units, brought into a state by the scene, its window
    photographed, then the photo finished by the touch-up (a box or a menu
    drawn over it, as the user would see them). */
namespace AppPhotos
{
    using Scene = std::function<void (RunningApp&)>;
    using TouchUp = std::function<void (RunningApp&, juce::Image&, BVLookAndFeel&)>;

    Gallery::Maker photograph (juce::String units, Scene scene, TouchUp touchUp = {});
}
