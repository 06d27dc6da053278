#include "platform/display_probe.h"

#include <dlfcn.h>
#include <cstdlib>
#include <string>

// A trial connection to the X server named by DISPLAY, authorisation included, through the client
// library that Qt's X platform uses (loaded only for this).
class DisplayProbe::XConnection {
public:
    XConnection() = default;
    ~XConnection() {
        if (connection_) disconnect_(connection_);
        if (lib_) dlclose(lib_);
    }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;
    // Connects on the first call.
    bool Ok() {
        if (!tried_) Try();
        tried_ = true;
        return ok_;
    }

private:
    void Try() {
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) return;
        lib_ = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!lib_) return;  // without it the X platform of Qt cannot run either
        auto connect = reinterpret_cast<void* (*)(const char*, int*)>(dlsym(lib_, "xcb_connect"));
        auto hasError = reinterpret_cast<int (*)(void*)>(dlsym(lib_, "xcb_connection_has_error"));
        disconnect_ = reinterpret_cast<void (*)(void*)>(dlsym(lib_, "xcb_disconnect"));
        if (!connect || !hasError || !disconnect_) return;
        connection_ = connect(nullptr, nullptr);
        ok_ = connection_ && hasError(connection_) == 0;
    }

    void* lib_ = nullptr;
    void* connection_ = nullptr;
    void (*disconnect_)(void*) = nullptr;
    bool ok_ = false;
    bool tried_ = false;
};

DisplayProbe::DisplayProbe() = default;
DisplayProbe::~DisplayProbe() = default;

bool DisplayProbe::Available() {
    if (!x_) x_ = std::make_unique<XConnection>();
    XConnection& x = *x_;
    const char* env = std::getenv("QT_QPA_PLATFORM");
    std::string platform = env ? env : "";
    // A list such as "wayland;xcb" is tried in order; any usable entry will do.
    size_t start = 0;
    bool anyNamed = false;
    while (start <= platform.size()) {
        size_t end = platform.find(';', start);
        std::string name = platform.substr(start, end == std::string::npos ? end : end - start);
        name = name.substr(0, name.find(':'));
        if (!name.empty()) {
            anyNamed = true;
            if (name == "offscreen" || name == "minimal" || name == "vnc" || name == "linuxfb" ||
                name == "eglfs" || name == "vkkhrdisplay")
                return true;
            if (name == "xcb" && x.Ok()) return true;
            if (name.rfind("wayland", 0) == 0 && std::getenv("WAYLAND_DISPLAY")) return true;
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    // Unnamed, Qt starts on X.
    return !anyNamed && x.Ok();
}
