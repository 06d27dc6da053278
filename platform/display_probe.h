// Whether the GUI framework can open its display. Qt ends the process when it cannot, so the
// program asks first, before it starts Qt.
#pragma once

#include <memory>

// ---------------------------------------------------------------------------------------------
// Display probe
// ---------------------------------------------------------------------------------------------

// Keep the probe alive until the GUI framework has opened its own connection: the trial
// connection to an X server stays open while the probe lives, because a server whose last client
// leaves resets itself and would turn the framework away meanwhile.
class DisplayProbe {
public:
    DisplayProbe();
    ~DisplayProbe();
    DisplayProbe(const DisplayProbe&) = delete;
    DisplayProbe& operator=(const DisplayProbe&) = delete;

    // True when the platform that QT_QPA_PLATFORM names (a list such as "wayland;xcb" is tried in
    // order; unnamed means X) can be had: a display-less platform always, X when the server named
    // by DISPLAY accepts a connection, authorisation included, Wayland when WAYLAND_DISPLAY is
    // set.
    [[nodiscard]] bool Available();

private:
    class XConnection;
    std::unique_ptr<XConnection> x_;
};
