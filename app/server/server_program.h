#pragma once
// The server program: wires the real platform, document, acquisition, redundancy link and
// bus classes around the application object and runs it. A display's front (the GUI) is
// handed in by the program's entry; without one the server runs headless.
#include "app/server/server_front.h"

namespace velk {

// Returns the process exit code.
int RunServerProgram(int argc, char** argv, const ServerFrontFactory& makeFront = {});

}  // namespace velk
