// What several benchmarks share: the main window made offscreen with a picture loaded (the
// window benchmarks), and the wall time and peak memory of a child process (the export and
// batch benchmarks, whose contenders each run in a process of their own).
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "app/adjust.h"
#include "app/mainwindow.h"
#include "app/shell.h"
#include "imagelib/image.h"
#include "platform/raster.h"
#include "toolkit/window.h"

namespace bench {

// ---------------------------------------------------------------------------------------------
// The main window
// ---------------------------------------------------------------------------------------------

// Starts the libraries, builds the main window at its starting state and loads a width x height
// picture through the new-picture sequence, pixel (x, y) coloured by colour(x, y, pixel bytes).
// False when a step fails. The caller chooses the platform (offscreen) and the scale first.
template <class Colour>
bool OpenMainWindow(int width, int height, Colour colour) {
    if (!StartUpLibraries() || !BuildMainWindow()) return false;
    SetStartingState();
    raster::Bitmap* picture = ImageNew(100, width, height);
    if (!picture) return false;
    for (int y = 0; y < picture->height; ++y)
        for (int x = 0; x < picture->width; ++x)
            colour(x, y, picture->Row(y) + x * picture->BytesPerPixel());
    NewPictureSequence(ReadWindowSettings());
    return true;
}

// Takes down what OpenMainWindow made, so that it can be opened again.
inline void CloseMainWindow() {
    PixelsRelease();
    ShutDownLibraries();
    ToolkitShutDown();
}

// ---------------------------------------------------------------------------------------------
// Child processes
// ---------------------------------------------------------------------------------------------

struct Run {
    double seconds = 0;
    long peakKiB = 0;  // the child's peak resident memory
    bool ok = true;    // it ended with exit code 0
};

// Waits for `child`, started at `start`.
inline Run WaitChild(pid_t child, std::chrono::steady_clock::time_point start) {
    Run r;
    int status = 0;
    rusage usage{};
    r.ok =
        wait4(child, &status, 0, &usage) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    return r;
}

// Runs work() in a forked child, its result the exit code.
template <class Work>
Run InChild(Work work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work());
    return WaitChild(child, start);
}

}  // namespace bench
