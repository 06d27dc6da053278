// The event queue behind EventWait: what the windows, controls and input translation report is
// queued here in arrival order and handed out one event per EventWait. Also the store of the
// file names behind drop handles. Qt-only: included by the toolkit's own sources and its tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Queue
// ---------------------------------------------------------------------------------------------

// Starts pumping: EventWait from now on waits for the GUI framework's events. Empties the queue
// and forgets the last event; drop handles stay valid.
void EventQueueStart();
// Stops pumping (EventWait then only hands out what is queued) and empties the queue.
void EventQueueStop();
// Queues window event `code` (moved, resized, repaint, close, activated) of window `window`; a
// burst of the same event from the same window is reported once. Nothing for a window below 0.
void QueueWindowEvent(int code, int window);
// Queues input event `code` of window `window` whose EventParam is `param`.
void QueueInputEvent(int code, int window, uintptr_t param);
// Queues a control event (13100) of control `source` in window `window` with `detail`.
void ToolkitPostControlEvent(int window, int source, int detail);

// ---------------------------------------------------------------------------------------------
// Drop handles
// ---------------------------------------------------------------------------------------------

// A new drop handle for the dropped `names` (never 0); the oldest handles are released when too
// many are outstanding.
[[nodiscard]] uintptr_t NewDrop(std::vector<std::string> names);
