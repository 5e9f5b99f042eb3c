#include "CLI_Display.h"
#include "MainFlow.h"

int main(int argc, char **argv) {
    CLI_Display display;
    return runUpdater(&display, argc, argv);
}
