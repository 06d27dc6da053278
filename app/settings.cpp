#include "app/settings.h"

#include "app/ids.h"
#include "toolkit/control.h"

WindowSettings ReadWindowSettings() {
    WindowSettings s;
    for (int i = 0; i < kToneSettingCount; ++i)
        s.tone.*(kToneSettings[i].field) = ControlGetValue(kToneBars[i].bar);
    s.removeCast = ControlGetValue(kCastCheckBox) == 1;
    s.format = ControlGetValue(kFormatCombo);
    s.portrait = ControlGetValue(kPortraitToggle) != 0;
    s.outputSize = ControlGetValue(kOutputCombo);
    return s;
}

void WriteWindowSettings(const WindowSettings& s) {
    for (int i = 0; i < kToneSettingCount; ++i)
        ControlSetValue(kToneBars[i].bar, s.tone.*(kToneSettings[i].field));
    ControlSetValue(kCastCheckBox, s.removeCast ? 1 : 0);
    ControlSetValue(kFormatCombo, s.format);
    ControlSetValue(kPortraitToggle, s.portrait ? 1 : 0);
    ControlSetValue(kOutputCombo, s.outputSize);
}
