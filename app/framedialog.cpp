#include "app/framedialog.h"

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "app/edit.h"
#include "app/frame.h"
#include "app/ids.h"
#include "app/preview.h"
#include "app/selection.h"
#include "app/state.h"
#include "imagelib/image.h"
#include "picture/export.h"
#include "toolkit/requester.h"

namespace {

constexpr int kCentre = 0;
constexpr int kLargest = 1;

std::vector<std::string> Texts(const PixelRect& f) {
    return {std::to_string(f.left), std::to_string(f.top), std::to_string(f.width),
            std::to_string(f.height)};
}

std::array<std::string, 4> Fields(const std::vector<std::string>& values) {
    std::array<std::string, 4> typed;
    for (size_t i = 0; i < typed.size() && i < values.size(); ++i)
        typed[i] = values[i];
    return typed;
}

}  // namespace

void ApplyFrameNumbers(const PixelRect& cut) {
    const int pw = ImageGetWidth(kPreviewImage);
    const int ph = ImageGetHeight(kPreviewImage);
    const int width = ImageGetWidth(kPictureImage);
    const int height = ImageGetHeight(kPictureImage);
    if (pw <= 0 || ph <= 0 || width <= 0 || height <= 0) return;
    const double fx = static_cast<double>(pw) / width;
    const double fy = static_cast<double>(ph) / height;
    Selection& sel = g_app.frame.selection;
    sel.left = frame::Nearest(cut.left * fx);
    sel.top = frame::Nearest(cut.top * fy);
    sel.width = frame::Nearest(cut.width * fx);
    sel.height = frame::HeightFor(sel.width, g_app.frame.ratio);
    ClampSelection();
    RedrawPreview(ReadWindowSettings());
}

void FrameNumbersRequested() {
    if (!ImageExists(kPictureImage) || !ImageExists(kPreviewImage)) return;
    const int width = ImageGetWidth(kPictureImage);
    const int height = ImageGetHeight(kPictureImage);
    const float ratio = g_app.frame.ratio;
    // The narrowest frame a drag allows, in picture pixels.
    const int minWidth = frame::Nearest(static_cast<double>(frame::kMinWidth) * width /
                                        ImageGetWidth(kPreviewImage));

    FieldForm form;
    form.note = "Rahmen in Pixeln des Bildes (" + std::to_string(width) + " x " +
                std::to_string(height) + "):";
    for (const char* label : frame::kFrameFields)
        form.labels.push_back(label);
    form.buttons = {"Zentrieren", "Maximal"};
    form.edited = [ratio](int field, std::vector<std::string>& values) {
        if (field == 2) {
            if (const auto w = frame::WholeNumber(values[2]))
                values[3] = std::to_string(frame::HeightFor(*w, ratio));
        } else if (field == 3) {
            if (const auto h = frame::WholeNumber(values[3]))
                values[2] = std::to_string(frame::Nearest(*h / static_cast<double>(ratio)));
        }
    };
    form.pressed = [=](int button, std::vector<std::string>& values) -> std::string {
        int frameWidth = LargestFrame(width, height, ratio).width;
        if (button == kCentre) {
            const frame::FrameEntry entry =
                frame::CheckFrameEntry(Fields(values), width, height, ratio, minWidth);
            if (entry.refused) return entry.why;
            frameWidth = entry.frame.width;
        } else if (button != kLargest) {
            return {};
        }
        values = Texts(frame::CentredFrame(frameWidth, ratio, width, height));
        return {};
    };
    form.check = [=](std::vector<std::string>& values) {
        const frame::FrameEntry entry =
            frame::CheckFrameEntry(Fields(values), width, height, ratio, minWidth);
        if (!entry.refused) values = Texts(entry.frame);
        return entry.why;
    };
    std::vector<std::string> values = Texts(SelectionCut());
    if (!AskFields(kFrameDialogTitle, form, values)) return;
    const frame::FrameEntry entry =
        frame::CheckFrameEntry(Fields(values), width, height, ratio, minWidth);
    if (entry.refused || !entry.why.empty()) return;
    ApplyFrameNumbers(entry.frame);
    HistoryNoteSettings(0);
}
