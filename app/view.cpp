#include "app/view.h"

#include "app/frame.h"
#include "app/ids.h"
#include "app/preview.h"
#include "app/state.h"
#include "toolkit/control.h"
#include "toolkit/preferences.h"

namespace {

constexpr int kLabelWidth = 44;
constexpr int kLabelHeight = 15;
constexpr int kLabelInset = 4;

}  // namespace

void ToggleBeforeAfter() {
    if (!PreviewCaptured()) return;
    g_app.showBefore = !g_app.showBefore;
    ApplyAdjustments(ReadWindowSettings());
}

void ShowAfter(const WindowSettings& settings) {
    if (!g_app.showBefore) return;
    g_app.showBefore = false;
    ApplyAdjustments(settings);
    ShowBeforeLabel(0);
}

void ShowBeforeLabel(int previewHeight) {
    if (!g_app.showBefore) {
        if (g_app.beforeLabelFor > 0) ControlHide(kBeforeLabel, 1);
        return;
    }
    // Made again only where the preview's height moved its corner.
    if (g_app.beforeLabelFor != previewHeight && ControlListBegin(kMainWindow)) {
        ControlCreateText(kBeforeLabel, frame::kPreviewX + kLabelInset,
                          frame::kPreviewY + previewHeight - kLabelInset - kLabelHeight,
                          kLabelWidth, kLabelHeight, kBeforeText, TEXT_CENTRED);
        ControlSetColour(kBeforeLabel, COLOUR_BACKGROUND, 0xffffff);
        ControlSetColour(kBeforeLabel, COLOUR_TEXT, 0);
        g_app.beforeLabelFor = previewHeight;
    }
    ControlHide(kBeforeLabel, 0);
}

void LoadThirdsGrid() {
    g_app.thirdsGrid = PreferenceGet(kThirdsPreference, 0) != 0;
}

void ToggleThirdsGrid() {
    g_app.thirdsGrid = !g_app.thirdsGrid;
    (void)PreferenceSet(kThirdsPreference, g_app.thirdsGrid ? 1 : 0);
    RedrawPreview(ReadWindowSettings());
}
