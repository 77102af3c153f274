// velkopc without the GUI: the server. Started without a display or with "Embedding" it
// would run headless anyway; this entry is the build without Qt.
#include "app/server/server_program.h"

int main(int argc, char** argv) { return velk::RunServerProgram(argc, argv); }
