// The desktop's recently-used list under a temporary home: what an added file records, that a
// file is listed once, where the list lives, and that a damaged list is left alone.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <glib.h>

#include "platform/recent_files.h"

namespace {

namespace fs = std::filesystem;

class RecentFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = fs::path(::testing::TempDir()) / ("recent-" + std::to_string(getpid()));
        fs::remove_all(home);
        fs::create_directories(home / "bilder");
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
    }
    void TearDown() override { fs::remove_all(home); }

    // The list as the desktop's file choosers read it.
    GBookmarkFile* Load(const std::string& list) {
        GBookmarkFile* b = g_bookmark_file_new();
        EXPECT_TRUE(g_bookmark_file_load_from_file(b, list.c_str(), nullptr)) << list;
        return b;
    }
    std::string Uri(const fs::path& p) {
        return Owned(g_filename_to_uri(p.c_str(), nullptr, nullptr)).get();
    }
    static std::unique_ptr<gchar, decltype(&g_free)> Owned(gchar* s) { return {s, g_free}; }
    fs::path home;
};

// The list under XDG_DATA_HOME: the export's test; under the home folder, end to end:
// output_settings.
TEST_F(RecentFilesTest, ExportsListedWithTypeAndApplication) {
    const fs::path list = home / ".local/share/recently-used.xbel";
    EXPECT_EQ(RecentFilesPath(), list.string());
    const fs::path a = home / "bilder/urlaub_10x15.jpg", b = home / "bilder/strand ü.jpg";
    std::ofstream(a) << "x";
    std::ofstream(b) << "y";
    ASSERT_TRUE(AddRecentFile(a, "image/jpeg"));
    ASSERT_TRUE(AddRecentFile(b, "image/jpeg"));
    ASSERT_TRUE(AddRecentFile(a, "image/jpeg"));  // again: still one entry
    GBookmarkFile* bookmarks = Load(list);
    EXPECT_EQ(g_bookmark_file_get_size(bookmarks), 2);
    for (const fs::path& p : {a, b}) {
        const std::string uri = Uri(p);
        auto type = Owned(g_bookmark_file_get_mime_type(bookmarks, uri.c_str(), nullptr));
        EXPECT_STREQ(type.get(), "image/jpeg") << uri;
        EXPECT_TRUE(g_bookmark_file_has_application(bookmarks, uri.c_str(), "Kadrovo", nullptr));
    }
    g_bookmark_file_free(bookmarks);
}

// Someone else's entries stay; a list that is not a bookmark file is not replaced.
TEST_F(RecentFilesTest, OthersEntriesKeptDamagedListLeftAlone) {
    const fs::path list = home / ".local/share/recently-used.xbel";
    fs::create_directories(list.parent_path());
    GBookmarkFile* theirs = g_bookmark_file_new();
    g_bookmark_file_set_mime_type(theirs, "file:///tmp/brief.odt", "application/x-odt");
    g_bookmark_file_add_application(theirs, "file:///tmp/brief.odt", "Writer", "writer %u");
    ASSERT_TRUE(g_bookmark_file_to_file(theirs, list.c_str(), nullptr));
    g_bookmark_file_free(theirs);
    ASSERT_TRUE(AddRecentFile((home / "bilder/a.jpg").string(), "image/jpeg"));
    GBookmarkFile* both = Load(list);
    EXPECT_TRUE(g_bookmark_file_has_item(both, "file:///tmp/brief.odt"));
    EXPECT_EQ(g_bookmark_file_get_size(both), 2);
    g_bookmark_file_free(both);

    std::ofstream(list, std::ios::trunc) << "<xbel version=\"1.0\"><bookmark";
    EXPECT_FALSE(AddRecentFile((home / "bilder/b.jpg").string(), "image/jpeg"));
    std::ifstream in(list);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "<xbel version=\"1.0\"><bookmark");
}

}  // namespace
