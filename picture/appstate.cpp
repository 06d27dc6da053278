#include "picture/appstate.h"

AppState g_app;

void AppStateReset() {
    g_app = AppState{};
}
