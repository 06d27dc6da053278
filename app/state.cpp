#include "app/state.h"

AppState g_app;

void AppStateReset() {
    g_app = AppState{};
}
