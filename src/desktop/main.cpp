// tallybird: the desktop program. Everything happens in the start-up and
// the main window; main only hands over.
#include "desktop/desktop_program.h"

int main(int argc, char** argv) {
    return tallybird::RunDesktopProgram(argc, argv);
}
