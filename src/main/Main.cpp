// The program's composition root: the application object with the real user
// interface. Everything below the user interface is built and tested without it.

#include "app/Belvora.h"
#include "gui/MainAppWindow.h"

class BelvoraProgram : public Belvora
{
public:
    BelvoraProgram() : Belvora (MainAppWindow::getUserInterfaceFactory()) {}
};

START_JUCE_APPLICATION (BelvoraProgram)
