// The conversion scripts' host: a program of its own, started by the script
// sandbox for each conversion, so that scripts never run inside Belvora.

#include "conversion/ScriptSandbox.h"

int main (int argc, char* argv[])
{
    return ScriptSandbox::runHost (argc, argv);
}
