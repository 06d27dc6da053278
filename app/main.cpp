#include "app/batch.h"
#include "app/shell.h"

int main(int argc, char** argv) {
    // A batch needs no display: it starts no part of the GUI framework.
    if (IsBatchCommand(argc, argv)) return BatchMain(argc, argv);
    return RunProgram(argc, argv);
}
