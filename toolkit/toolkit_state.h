// Everything the toolkit keeps between calls, in one record: the session, the window and control
// tables, the event queue, the drop handles, the input filter and the requester script. Each part
// works on its own member; ToolkitInit and ToolkitShutDown start and stop the parts in one place
// (startup.cpp). Qt-only: included by the toolkit's own sources, never by a public header.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/draw_target.h"
#include "platform/registry.h"

class QObject;
class QTimer;
struct RequesterScript;

// The toolkit's own run: whether it is up, and what it chose or started.
struct ToolkitSession {
    bool initialised = false;
    bool ownApplication = false;  // ToolkitInit started the GUI framework and ends it
    bool fontChosen = false;      // ToolkitSetFont was called
    // The command line the GUI framework keeps a reference to while it runs.
    int argc = 1;
    char name[8] = "kadrovo";
    char* argv[2] = {name, nullptr};
};

struct WindowRecord {
    uintptr_t handle;  // the ToolkitWindow; 0 = number free
};

// The window table and what goes with it.
struct WindowTableState {
    ObjectTable<WindowRecord> table;
    bool running = false;            // between WindowTableStart and WindowTableStop
    void (*onClose)(int) = nullptr;  // told of each window about to close
    // One drawing target per window number, kept for the life of the process so that a target
    // handed out earlier never dangles; its surface is cleared when the window closes.
    std::map<int, std::unique_ptr<DrawTarget>> drawTargets;
    // The same for the device-resolution surfaces.
    std::map<int, std::unique_ptr<DrawTarget>> deviceTargets;
    int surfacePress = -1;  // window whose own surface took the held left button, or -1
};

struct ControlRecord {
    uintptr_t handle;    // the QWidget; 0 = number free
    int kind;            // kind code
    int window;          // number of the parent window
    int32_t backColour;  // text and progress bar: background, -1 = default
    int32_t textColour;  // text: text colour; progress bar: bar colour; -1 = default
    uint64_t sequence;   // creation order, for controls side by side in the Tab cycle
};

// The control table and what goes with it.
struct ControlTableState {
    ObjectTable<ControlRecord> table;
    int parentWindow = -1;  // window of the controls created next (ControlListBegin)
    uint64_t sequence = 0;  // creation count; not restarted, so the order holds across starts
    std::string text;       // backs the pointers handed out by ControlGetText / ControlGetTip
    std::string tip;
};

struct QueuedEvent {
    int code = 0;
    int window = -1;
    int source = 0;
    int detail = -1;
    bool control = false;
    bool hasParam = false;
    uintptr_t param = 0;
};

// The last event's data, the waiting events, and the timer that ends a wait (present only while
// pumping; left to the process end when the toolkit is never shut down, since the GUI framework
// may be gone by then).
struct EventQueueState {
    int source = 0;
    int window = -1;
    int detail = -1;
    uintptr_t param = 0;
    std::deque<QueuedEvent> queue;
    QTimer* wakeUp = nullptr;
};

// The names behind drop handles: the program may still hold a handle across a restart of the
// toolkit, so they are kept apart from the queue.
struct DropStore {
    std::map<uintptr_t, std::vector<std::string>> names;
    uintptr_t next = 1;
};

struct ToolkitState {
    ToolkitSession session;
    WindowTableState windows;
    ControlTableState controls;
    EventQueueState events;
    DropStore drops;
    QObject* inputFilter = nullptr;     // installed while the toolkit runs
    RequesterScript* script = nullptr;  // answers the requesters in tests; null: real dialogs
};

// The one instance.
extern ToolkitState g_toolkit;
