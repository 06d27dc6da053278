// A headless main window in its starting state, its dialogs answered by a script, and the
// picture files the app tests load.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/ids.h"
#include "app/mainwindow.h"
#include "app/preview.h"
#include "app/selection.h"
#include "app/shell.h"
#include "app/state.h"
#include "imagelib/image.h"
#include "imagelib/load.h"
#include "imagelib/save.h"
#include "platform/raster.h"
#include "toolkit/control.h"
#include "toolkit/requester.h"
#include "toolkit/window.h"

// Answers the file dialog once with `file` (then cancels) and every message box with `answer`,
// and records what was asked: "Title: text [flags]" and "save 'Title' folder/name, filter
// 'pattern' index" ("open ...").
struct Script : RequesterScript {
    std::string file;
    int answer = IDOK;
    std::vector<std::string> fileCalls, messages;
    int Message(const std::string& title, const std::string& text, int flags) override {
        messages.push_back(title + ": " + text + " [" + std::to_string(flags) + "]");
        return answer;
    }
    std::string File(bool save, const std::string& title, const std::string& folder,
                     const std::string& name, const std::string& pattern, int index) override {
        fileCalls.push_back((save ? "save '" : "open '") + title + "' " + folder + "/" + name +
                            ", filter '" + pattern + "' " + std::to_string(index));
        return std::exchange(file, "");
    }
    // The number dialog: shows each of `shown` through the live preview (then runs `onShown`),
    // then answers `number` (OK) or, when it is NaN, cancels.
    double number = std::nan("");
    std::vector<double> shown;
    std::function<void(double)> onShown;
    bool Number(const std::string&, double, double, double& value,
                const std::function<void(double)>& changed) override {
        for (double v : shown) {
            if (changed) changed(v);
            if (onShown) onShown(v);
        }
        if (std::isnan(number)) return false;
        value = number;
        return true;
    }
    // The choice dialog: records each field as "label: value [item|item...]", then answers
    // `choices` (one value per field, OK) or, when empty, cancels.
    std::vector<std::string> choices, choiceFields;
    bool Choices(const std::string&, std::vector<ChoiceField>& fields) override {
        for (const ChoiceField& f : fields) {
            std::string items;
            for (const std::string& item : f.items)
                items += (items.empty() ? "" : "|") + item;
            choiceFields.push_back(f.label + ": " + f.value + " [" + items + "]");
        }
        if (choices.size() != fields.size()) return false;
        for (size_t i = 0; i < fields.size(); ++i)
            fields[i].value = choices[i];
        return true;
    }
    // The form: `play` types into it and answers. The picture window: what it would show.
    std::string title, caption;
    std::function<bool(const FieldForm&, std::vector<std::string>&)> play;
    std::unique_ptr<raster::Bitmap> picture;
    bool Fields(const std::string& t, const FieldForm& form,
                std::vector<std::string>& values) override {
        title = t;
        return play && play(form, values);
    }
    void Picture(const std::string& t, const raster::Bitmap& shown,
                 const std::string& line) override {
        title = t, caption = line;
        picture = raster::Clone(shown);
    }
};

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes `bytes` to the file at `path`; returns the path.
inline std::string WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

// "width x height" of the picture in the file at `path` as image 7 reads it; "" when none.
inline std::string PictureSize(const std::string& path) {
    const raster::Bitmap* bm = ImageLoadFile(7, path.c_str()).bitmap;
    return bm ? std::to_string(bm->width) + "x" + std::to_string(bm->height) : "";
}

// The pixels of image `number`, empty when there is none.
inline std::string Pixels(int number) {
    const raster::Bitmap* bm = ImageGetBitmap(number);
    return bm ? std::string(reinterpret_cast<const char*>(bm->bits.get()), bm->ByteSize()) : "";
}

// Puts the frame at `sel` (preview pixels), narrowed into the preview as a drag keeps it.
inline void PlaceFrame(const Selection& sel) {
    g_app.frame.selection = sel;
    ClampSelection();
}

// "width x height at left,top" of the current frame.
inline std::string Frame() {
    const Selection& s = g_app.frame.selection;
    return std::to_string(s.width) + "x" + std::to_string(s.height) + " at " +
           std::to_string(s.left) + "," + std::to_string(s.top);
}

// Everything a refused, failed or cancelled action must leave as it was, as one line.
inline std::string State() {
    const std::hash<std::string> hash;
    std::ostringstream s;
    s << hash(Pixels(100)) << " " << hash(Pixels(101)) << " " << Frame() << " gamma "
      << ControlGetValue(kGammaBar) << " box " << ControlGetValue(kCastCheckBox) << " '"
      << ControlGetText(kStatusLine) << "' captured " << PreviewCaptured() << " cast "
      << g_app.castColour;
    return s.str();
}

// How many pixels of `a` and `b` differ in colour; -1 when their sizes differ.
inline int DifferingPixels(const raster::Bitmap& a, const raster::Bitmap& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    int differing = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            differing +=
                (raster::GetPixel(a, x, y) & 0xFFFFFF) != (raster::GetPixel(b, x, y) & 0xFFFFFF);
    return differing;
}

// Colours as the surfaces hold them: red | green << 8 | blue << 16.
constexpr uint32_t kBlack = 0, kGrey = 0x808080, kWhite = 0xffffff, kYellow = 0x00ffff;

// The colour at client point (x, y) of the main window's surface.
inline uint32_t Surface(int x, int y) {
    return raster::GetPixel(*WindowDrawTarget(kMainWindow)->surface, x, y);
}

// The user sets `control` to `value`.
inline void Use(int control, int value) {
    ControlSetValue(control, value);
    DispatchControl(control);
}

// The device pixel ratio this run was started with (QT_SCALE_FACTOR), which the window must have:
// a scale factor that stops taking effect must fail the 200 % run rather than let it pass as an
// ordinary one.
inline double Ratio() {
    const char* scale = std::getenv("QT_SCALE_FACTOR");
    const double ratio = WindowPixelRatio(kMainWindow);
    EXPECT_EQ(ratio, scale ? std::atof(scale) : 1.0);
    return ratio;
}

// Writes a width x height picture of `colour`, then painted over by `paint`, to `path` as
// `format`; returns the path.
inline std::string WritePicture(const std::string& path, int width, int height, uint32_t colour,
                                uint32_t format = IMAGE_FORMAT_BMP,
                                const std::function<void(raster::Bitmap&)>& paint = {}) {
    const auto bm = raster::Create(width, height, 24, true, false);
    raster::FillRect(*bm, 0, 0, width, height, colour);
    if (paint) paint(*bm);
    EXPECT_EQ(BitmapSaveFile(*bm, path.c_str(), format, 80), 1) << path;
    return path;
}

// A photo-like width x height picture at `path`: gradients, and a warm highlight over the top-left
// quarter for the cast.
inline void WritePhoto(const std::filesystem::path& path, int width, int height,
                       uint32_t format = JPEG_ENCODER_ID) {
    WritePicture(path, width, height, 0, format, [&](raster::Bitmap& bm) {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                raster::SetPixel(bm, x, y,
                                 static_cast<uint32_t>(x * 255 / width | (y * 255 / height) << 8 |
                                                       ((x + y) % 200) << 16));
        raster::FillRect(bm, 0, 0, width / 2, height / 2, 250 | 240 << 8 | 232 << 16);
    });
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartUpLibraries()); }
    void SetUp() override {
        char folder[] = "/tmp/kadrovo-test-XXXXXX";
        ASSERT_TRUE(mkdtemp(folder));
        dir = folder;
        // Exports go into the desktop's recently-used list: this test's own, never the user's.
        setenv("XDG_DATA_HOME", (dir / "daten").c_str(), 1);
        // So do the preferences.
        setenv("XDG_CONFIG_HOME", (dir / "einstellungen").c_str(), 1);
        ShutDownLibraries();
        AppStateReset();
        RequesterSetScript(&script);
        ASSERT_TRUE(BuildMainWindow());
        SetStartingState();
    }
    void TearDown() override {
        RequesterSetScript(nullptr);
        ShutDownLibraries();  // windows closed, images released: nothing outlives the test
        std::filesystem::remove_all(dir);
    }
    // `name` in the test's own folder.
    std::string In(const std::string& name) const { return (dir / name).string(); }
    // A width x height photo loaded through the file path.
    void LoadPhoto(int width = 300, int height = 200) {
        WritePhoto(In("photo.bmp"), width, height, IMAGE_FORMAT_BMP);
        ASSERT_TRUE(LoadPicture(In("photo.bmp")));
    }

    Script script;
    std::filesystem::path dir;
};
