#include "app/Belvora.h"

START_JUCE_APPLICATION (Belvora)
