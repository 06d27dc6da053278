// The export from the main window, driven through the requester test hook on a headless window:
// the default name, the dialog and the overwrite question, the commit, the delivery and the
// closing step.
#include <libexif/exif-data.h>

#include <cstring>
#include <filesystem>
#include <tuple>

#include "app/edit.h"
#include "app/export.h"
#include "app/output.h"
#include "imagelib/load.h"
#include "load_fixtures.h"
#include "platform/clipboard.h"
#include "tests/app/main_window_fixture.h"

namespace {

// --- the flow ------------------------------------------------------------------------------------

using Bytes = std::vector<uint8_t>;

class ExportFlow : public MainWindowTest {
protected:
    void SetUp() override {
        MainWindowTest::SetUp();
        // The save dialog proposes the batch's name beside the original: only the last extension
        // goes.
        const std::string path = In("Ur.bmplaub.BMP");
        WritePhoto(path, 1200, 800, IMAGE_FORMAT_BMP);
        ControlSetValue(kFormatCombo, 1);  // "10 x 15" across: 3:2
        ASSERT_TRUE(LoadPicture(path));
        ASSERT_EQ(ImageGetWidth(101), 480);  // factor 2.5
        // A frame of 150 x 100 preview pixels: a 375 x 250 cut at (25, 50).
        PlaceFrame(Selection{10, 20, 150, 100});
    }

    // Moves the gamma bar off its default and adjusts the preview, as a user would.
    static void MoveGamma(int value) {
        ControlSetValue(kGammaBar, value);
        ApplyAdjustments(ReadWindowSettings());
    }
    // Saves through the dialog, which answers with `path` (cancelled when empty), every question
    // with `answer`.
    void SaveTo(const std::string& path, int answer = IDOK) {
        script = Script{};
        script.file = path, script.answer = answer;
        SelectionExport(false, ReadWindowSettings());
    }
};

// A failed save is reported; the adjustments are committed all the same (image 100 changed,
// controls at rest, preview captured). An empty file is then replaced without a question, a taken
// one only on Yes (No, the default, is the end-to-end test's).
TEST_F(ExportFlow, FailedSaveIsReportedThenOnlyEmptyOrConfirmedFilesAreReplaced) {
    MoveGamma(100);
    const std::string before = Pixels(100);
    SaveTo(In("missing-folder/bild.jpg"));
    EXPECT_TRUE(script.fileCalls.at(0).starts_with(
        "save 'Bild speichern...' " + In("Ur.bmplaub_10x15.jpg, filter 'JPG Bilder (*.jpg)|")));
    EXPECT_EQ(script.messages, std::vector<std::string>{"Kadrovo: Die Datei bild.jpg konnte nicht "
                                                        "gespeichert werden!\r\rBitte einen "
                                                        "anderen Ort wählen. [48]"});
    // The progress bar followed 800 rows.
    EXPECT_EQ(std::make_tuple(Pixels(100) != before, ControlGetValue(kGammaBar),
                              ControlGetValue(kProgressBar), PreviewCaptured()),
              std::make_tuple(true, 155, 99, true));

    const std::string empty = In("empty.jpg"), taken = In("taken.jpg");
    std::ofstream{empty};
    std::ofstream(taken) << "an older picture";
    SaveTo(empty);
    EXPECT_TRUE(script.messages.empty());
    SaveTo(taken, IDYES);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(script.messages[0].starts_with("Kadrovo: Die Datei taken.jpg existiert bereits!"));
    EXPECT_TRUE(ReadFile(taken).starts_with("\xFF\xD8") && ReadFile(taken) == ReadFile(empty));
    // The files written, and only they, are in the desktop's recently-used list (as JPEG pictures
    // of this program: output_settings, end-to-end, and the list's own tests).
    const std::string list = ReadFile(dir / "daten/recently-used.xbel");
    for (const char* name : {"empty.jpg", "taken.jpg"})
        EXPECT_NE(list.find((dir / name).string() + "\""), std::string::npos) << name;
    EXPECT_EQ(list.find("missing-folder"), std::string::npos);
}

// The file written is what its name says: PNG for ".png", JPEG for the JPEG extensions in any
// letter case, and ".jpg" appended to any other name. The title says where it went; the question
// names the file that would really be replaced.
TEST_F(ExportFlow, TheSavedFileIsWhatItsNameSays) {
    const std::string png = "\x89PNG\r\n\x1A\n", jpeg = "\xFF\xD8\xFF";
    std::filesystem::create_directory(In("fotos.2024"));
    const std::tuple<const char*, const char*, const std::string&> cases[] = {
        {"ohne_endung", "ohne_endung.jpg", jpeg},
        {"als_png.png", "als_png.png", png},
        {"GROSS.PNG", "GROSS.PNG", png},
        {"a.JPG", "a.JPG", jpeg},
        {"b.jpeg", "b.jpeg", jpeg},
        {"c.Jpe", "c.Jpe", jpeg},
        {"d.JFIF", "d.JFIF", jpeg},
        {"e.gif", "e.gif.jpg", jpeg},
        {"f.png.txt", "f.png.txt.jpg", jpeg},
        {".versteckt", ".versteckt.jpg", jpeg},
        {"fotos.2024/bild", "fotos.2024/bild.jpg", jpeg}};
    for (const auto& [typed, written, magic] : cases) {
        SaveTo(In(typed));
        EXPECT_TRUE(script.messages.empty()) << typed;
        EXPECT_TRUE(ReadFile(In(written)).starts_with(magic)) << typed;
        EXPECT_EQ(std::filesystem::exists(In(typed)), std::string(typed) == written) << typed;
        EXPECT_EQ(g_app.notice, "Gespeichert als " + In(written)) << typed;
        // Read back by its contents, the cut of 375 x 250 picture pixels.
        EXPECT_EQ(PictureSize(In(written)), "375x250") << typed;
    }
    // "ohne_endung" again: the question is about ohne_endung.jpg, and No leaves it alone.
    const std::string kept = ReadFile(In("ohne_endung.jpg"));
    SaveTo(In("ohne_endung"), IDNO);
    ASSERT_EQ(script.messages.size(), 1u);
    EXPECT_TRUE(
        script.messages[0].starts_with("Kadrovo: Die Datei ohne_endung.jpg existiert bereits!"))
        << script.messages[0];
    EXPECT_EQ(ReadFile(In("ohne_endung.jpg")), kept);
}

// Neither a cancelled dialog nor an export without memory for the cut changes anything, and the
// track bars still change the preview afterwards.
TEST_F(ExportFlow, CancelOrNoMemoryTouchesNothingAndTheTrackBarsStillWork) {
    MoveGamma(70);
    Use(kCastCheckBox, 1);
    ASSERT_NE(g_app.castColour, 0u);
    ASSERT_TRUE(ClipboardSet({{"text/plain", {'x'}}}));
    const std::string before = State(), preview = Pixels(101);
    SaveTo("");
    EXPECT_EQ(std::make_pair(script.fileCalls.size(), script.messages.size()),
              std::make_pair(1ul, 0ul));
    EXPECT_EQ(State(), before);
    for (int preset : {0, 7}) {  // no memory for the cut at full size, for the reduced cut
        ControlSetValue(kOutputCombo, preset);
        script.messages.clear();
        raster::FailAllocationForTest(1);
        SelectionExport(true, ReadWindowSettings());
        raster::FailAllocationForTest(0);
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_TRUE(script.messages[0].ends_with(" [48]")) << script.messages[0];
        EXPECT_EQ(State(), before) << preset;
    }
    EXPECT_EQ(ClipboardGet("text/plain"), Bytes{'x'});
    // The captured pixels are as they were: the track bars still change the preview, and back
    // where it was they give the same preview again.
    MoveGamma(150);
    EXPECT_TRUE(Pixels(101) != preview);
    MoveGamma(70);
    EXPECT_TRUE(Pixels(101) == preview);
}

// A camera's EXIF data: date, camera, artist, a GPS reference and a maker note, stored upside
// down.
Bytes CameraExif() {
    ExifData* d = exif_data_new();
    exif_data_set_byte_order(d, EXIF_BYTE_ORDER_MOTOROLA);
    const std::tuple<ExifIfd, int, ExifFormat, std::string> tags[] = {
        {EXIF_IFD_0, EXIF_TAG_MAKE, EXIF_FORMAT_ASCII, "Phonemaker"},
        {EXIF_IFD_0, EXIF_TAG_ARTIST, EXIF_FORMAT_ASCII, "Anna"},
        {EXIF_IFD_0, EXIF_TAG_ORIENTATION, EXIF_FORMAT_SHORT, std::string("\0\3", 2)},
        {EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, EXIF_FORMAT_ASCII, "2024:07:14 18:30:05"},
        {EXIF_IFD_EXIF, EXIF_TAG_MAKER_NOTE, EXIF_FORMAT_ASCII, "serial 0815"},
        {EXIF_IFD_GPS, EXIF_TAG_GPS_LATITUDE_REF, EXIF_FORMAT_ASCII, "N"}};
    for (const auto& [ifd, tag, format, value] : tags) {
        ExifEntry* e = exif_entry_new();
        e->tag = static_cast<ExifTag>(tag);
        e->format = format;
        e->size = static_cast<unsigned>(value.size() + (format == EXIF_FORMAT_ASCII));
        e->components = format == EXIF_FORMAT_ASCII ? e->size : 1;
        e->data = static_cast<unsigned char*>(calloc(1, e->size));
        memcpy(e->data, value.data(), value.size());
        exif_content_add_entry(d->ifd[ifd], e);
        exif_entry_unref(e);
    }
    unsigned char* bytes = nullptr;
    unsigned int size = 0;
    exif_data_save_data(d, &bytes, &size);
    Bytes app1(bytes, bytes + size);
    free(bytes);
    exif_data_unref(d);
    return app1;
}

// From a phone's picture to a print: the resolution shown while framing, and a file that keeps
// date, camera and artist, drops the position and everything else, and records its density.
TEST_F(ExportFlow, PrintResolutionIsShownAndTheFileKeepsOnlyWhatMatters) {
    // 1215 rows: the preview's height fits the whole 3:2 frame.
    const auto camera =
        fixtures::MakeJpeg({.width = 1800, .height = 1215, .quality = 50, .app1 = CameraExif()});
    ASSERT_TRUE(ImageLoadFile(100, fixtures::WriteTemp("camera.jpg", camera).c_str()));
    ControlSetValue(kFormatCombo, 1);  // "10 x 15": 1800 x 1200 of the picture
    NewPictureSequence(ReadWindowSettings());
    EXPECT_STREQ(ControlGetText(kStatusLine), "Bild: 1800x1215 / Auswahl: 1800x1200");
    // Format, output size ("Foto bis 10cm x 15cm" keeps 1200, e-mail makes it 300; "ebay" has
    // no print size), and the tooltip of the format combo box.
    for (auto [format, preset, dpi] :
         {std::tuple{1, 2, "10 x 15 cm: 76 dpi"}, {7, 2, ""}, {1, 4, "10 x 15 cm: 305 dpi"}}) {
        ControlSetValue(kFormatCombo, format);
        ControlSetValue(kOutputCombo, preset);
        RedrawPreview(ReadWindowSettings());
        EXPECT_STREQ(ControlGetTip(kStatusLine), dpi);
        EXPECT_EQ(ControlGetTip(kFormatCombo),
                  std::string("Zielformat auswählen") + (*dpi ? "\n" : "") + dpi);
    }
    SaveTo(In("print.jpg"));
    ASSERT_TRUE(script.messages.empty());
    ExifData* exif = exif_data_new_from_file(In("print.jpg").c_str());
    ASSERT_NE(exif, nullptr);
    for (auto [ifd, tag, value] :
         {std::tuple{EXIF_IFD_EXIF, EXIF_TAG_DATE_TIME_ORIGINAL, "2024:07:14 18:30:05"},
          {EXIF_IFD_0, EXIF_TAG_MAKE, "Phonemaker"},
          {EXIF_IFD_0, EXIF_TAG_ARTIST, "Anna"},
          {EXIF_IFD_0, EXIF_TAG_ORIENTATION, "Top-left"},
          {EXIF_IFD_EXIF, EXIF_TAG_COLOR_SPACE, "sRGB"},
          {EXIF_IFD_EXIF, EXIF_TAG_MAKER_NOTE, ""}}) {
        ExifEntry* e = exif_content_get_entry(exif->ifd[ifd], tag);
        char text[256] = "";
        EXPECT_STREQ(e ? exif_entry_get_value(e, text, sizeof text) : "", value) << tag;
    }
    EXPECT_EQ(exif->ifd[EXIF_IFD_GPS]->count, 0u);
    EXPECT_EQ(exif->data, nullptr);  // no thumbnail
    exif_data_unref(exif);
    // The JFIF segment right after the start of image carries the print resolution: unit 1 (dots
    // per inch), then horizontal and vertical density, 305 = 0x131.
    EXPECT_EQ(ReadFile(In("print.jpg")).substr(0, 18),
              std::string("\xFF\xD8\xFF\xE0\0\x10JFIF\0\x01\x01\x01\x01\x31\x01\x31", 18));
}

// --- the output's choices ------------------------------------------------------------------------

// Budgets as typed and as shown: 1000-based units, a decimal comma or point, exact to the byte.
TEST(OutputSize, TypedAndShown) {
    const std::tuple<const char*, size_t, const char*> read[] = {
        {"unbegrenzt", 0, "unbegrenzt"},    {"200 KB", 200000, "200 KB"},
        {"1,5 mb", 1500000, "1,5 MB"},      {"1.94M", 1940000, "1,94 MB"},
        {"12,5k", 12500, "12,5 KB"},        {"750000", 750000, "750 KB"},
        {"999 Bytes", 999, "999 Bytes"},    {"1234567", 1234567, "1234567 Bytes"},
        {"2000 MB", 2000000000, "2000 MB"},
    };
    for (const auto& [typed, bytes, shown] : read) {
        size_t got = 7;
        EXPECT_TRUE(ParseOutputSize(typed, got)) << typed;
        EXPECT_EQ(got, bytes) << typed;
        EXPECT_EQ(OutputSizeText(bytes), shown) << typed;
    }
    for (const char* refused : {"", "viel", "0", "0 KB", "-5 KB", "1,2,3", "0,5", "1,0005 KB",
                                "2001 MB", "5 GB", "KB", "99999999999999999999"}) {
        size_t got = 7;
        EXPECT_FALSE(ParseOutputSize(refused, got)) << refused;
        EXPECT_EQ(got, 7u) << refused;
    }
}

// The dialog shows the choices as they stand; OK keeps the new ones (read back at the next start:
// output_settings, end-to-end) and names them in the tooltip, a value the list refuses or a
// cancel changes nothing.
TEST_F(ExportFlow, OutputChoicesAreKeptAndNamedInTheTooltip) {
    const std::string plainTip = "Speichern des aktuellen Bildausschnittes (Strg+S)";
    EXPECT_EQ(ControlGetTip(kSaveButton), plainTip);
    script.choices = {"1,5 MB", "Druck"};
    EXPECT_TRUE(RunEditCommand(kCommandOutput));
    EXPECT_EQ(
        script.choiceFields,
        (std::vector<std::string>{
            "Dateigrösse höchstens: unbegrenzt [unbegrenzt|200 KB|500 KB|1 MB|2 MB|5 MB|10 MB]",
            "Nachschärfen: aus [aus|Bildschirm|Druck]"}));
    const OutputSettings chosen{1500000, Sharpening::Print};
    EXPECT_EQ(g_app.output, chosen);
    EXPECT_EQ(ControlGetTip(kSaveButton),
              std::string("Speichern des aktuellen Bildausschnittes\nDateigrösse höchstens 1,5 MB, "
                          "Nachschärfen: Druck (Strg+S)"));
    script.choiceFields.clear();
    for (const std::vector<std::string>& answer :
         {std::vector<std::string>{"viel", "aus"}, {"2 MB", "stark"}, {}}) {
        script.choices = answer;
        OutputRequested();
        EXPECT_EQ(g_app.output, chosen);
    }
    // A typed budget is an item of the list in its place when the dialog comes again.
    EXPECT_EQ(script.choiceFields.at(0),
              "Dateigrösse höchstens: 1,5 MB [unbegrenzt|200 KB|500 KB|"
              "1 MB|1,5 MB|2 MB|5 MB|10 MB]");
    // Back to the defaults: the tooltip is the plain one again.
    script.choices = {"unbegrenzt", "aus"};
    OutputRequested();
    EXPECT_EQ(g_app.output, OutputSettings{});
    EXPECT_EQ(ControlGetTip(kSaveButton), plainTip);
}

// The file holds ExportPixels with the output's sharpening. Within a budget the quality, then
// the size, comes down and a message says what it cost; a budget no picture fits is refused with
// nothing written and nothing committed.
TEST_F(ExportFlow, SharpenedAndWithinABudget) {
    // Over the gradients, clear of the flat highlight.
    PlaceFrame(Selection{300, 200, 150, 100});
    MoveGamma(120);
    g_app.output = {0, Sharpening::Print};
    const auto pixels = ExportPixels(ReadWindowSettings(), Sharpening::Print);
    ASSERT_TRUE(pixels);
    ASSERT_TRUE(ExportWriteJpeg(*pixels, In("erwartet.jpg").c_str(), 1, nullptr));
    SaveTo(In("scharf.jpg"));
    EXPECT_TRUE(script.messages.empty());
    EXPECT_EQ(ReadFile(In("scharf.jpg")), ReadFile(In("erwartet.jpg")));

    // The clipboard gets the same sharpened pixels, and no budget applies to it.
    MoveGamma(120);
    g_app.output.maxBytes = 300;
    const auto copied = ExportPixels(ReadWindowSettings(), Sharpening::Print);
    ASSERT_TRUE(copied);
    SelectionExport(true, ReadWindowSettings());
    EXPECT_TRUE(script.messages.empty());
    const Bytes png = ClipboardGet("image/png");
    const LoadResult pasted =
        ImageLoadFile(8, WriteFile(In("ablage.png"), std::string(png.begin(), png.end())).c_str());
    ASSERT_TRUE(pasted);
    EXPECT_EQ(DifferingPixels(*pasted.bitmap, *copied), 0);

    const std::string before = State();
    SaveTo(In("winzig.jpg"));
    EXPECT_EQ(script.messages,
              std::vector<std::string>{"Kadrovo: " + BudgetRefusalText(300) + " [48]"});
    EXPECT_FALSE(std::filesystem::exists(In("winzig.jpg")));
    EXPECT_EQ(State(), before);

    const size_t full = ReadFile(In("scharf.jpg")).size();
    for (const auto& [budget, reduced] : {std::pair{full * 2 / 3, false}, {size_t{4000}, true}}) {
        g_app.output.maxBytes = budget;
        const std::string name = In("budget" + std::to_string(budget) + ".jpg");
        SaveTo(name);
        EXPECT_LE(ReadFile(name).size(), budget);
        EXPECT_EQ(PictureSize(name) != "375x250", reduced) << budget << " of " << full;
        ASSERT_EQ(script.messages.size(), 1u);
        EXPECT_TRUE(script.messages[0].starts_with("Kadrovo: Gespeichert mit Qualität "));
        EXPECT_EQ(script.messages[0].find(" Pixel [48]") != std::string::npos, reduced)
            << script.messages[0];
    }
}

}  // namespace
