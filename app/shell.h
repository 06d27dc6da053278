// The window program's run: start-up of the libraries, the depth test, the polling event loop
// with the actions of the main window's controls, and shut-down. The batch export (batch.h)
// runs without any of it.
#pragma once

#include <memory>
#include <string>

#include "app/settings.h"
#include "platform/raster.h"

// ---------------------------------------------------------------------------------------------
// Start-up and shut-down
// ---------------------------------------------------------------------------------------------

// Zeroes the application state and starts the libraries in their fixed order (toolkit, drawing
// surface, decoder registry, image table), then registers the decoders (JPEG, PNG, HEIF, WebP;
// BMP and icons are read by the loader itself) and the JPEG encoder. False when the toolkit
// cannot start (no display).
[[nodiscard]] bool StartUpLibraries();
// True when the screen has at least 24 bits per pixel (tested on scratch image 1).
[[nodiscard]] bool CheckScreenDepth();
// Closes every window, then releases every image.
void ShutDownLibraries();
// The whole program: command line (help, version and usage errors end it before any display is
// opened), start-up, depth test (message and exit 0 when too shallow), main window, the picture
// named on the command line, loop, shut-down. Returns the exit code: 0; 1 when no display or
// main window could be had; 2 for a usage error.
int RunProgram(int argc = 0, const char* const* argv = nullptr);

// ---------------------------------------------------------------------------------------------
// Event loop
// ---------------------------------------------------------------------------------------------

// The names of the files of the last drop event (its handle is released); the last one, or ""
// when the drop brought none. `others` receives how many more were dropped.
std::string TakeDroppedFiles(int* others = nullptr);
// Loads `path` into image 100 and, only when that succeeds, resets the adjustment controls,
// remembers the name and runs the new-picture sequence. The preview is reduced while the file
// is decoded. A failed load changes nothing but says in a message which file was refused and why;
// a file that broke off inside the picture is taken with the part that was read, and a message
// says how much. True when a picture was taken.
bool LoadPicture(const std::string& path);
// A file named from outside (dropped on the window or named on the command line): loaded as
// LoadPicture does; an empty name does nothing. `others` files named with it are not opened,
// and the user is told so.
void OpenNamedFile(const std::string& name, int others = 0);
// Value labels, preview, default frame, repaint and capture of a picture that has just arrived in
// image 100, with the window's `settings`. `preview`, when given, is the preview already made
// from it (see BuildPreview).
void NewPictureSequence(WindowSettings settings, std::unique_ptr<raster::Bitmap> preview = nullptr);
// Puts `text` in front of the window's title for a few seconds (the loop takes it away).
void ShowNotice(const std::string& text);
// Runs the action of control `source` (an event 13100), with the controls read once as it
// begins.
void DispatchControl(int source);
// Acts on one event code as a loop pass does, without the mouse polling.
void HandleEvent(int event);
// One pass: wait up to 500 ms for an event, act on it, poll the mouse. False when the loop is
// to end (close request or quit button).
[[nodiscard]] bool LoopPass();
