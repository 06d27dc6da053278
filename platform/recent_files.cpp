#include "platform/recent_files.h"

#include <cstdlib>
#include <memory>

#include <glib.h>
#include <glib/gstdio.h>

namespace {

struct FreeChars {
    void operator()(gchar* p) const { g_free(p); }
};
using Chars = std::unique_ptr<gchar, FreeChars>;

struct FreeBookmarks {
    void operator()(GBookmarkFile* b) const { g_bookmark_file_free(b); }
};

}  // namespace

std::string RecentFilesPath() {
    // Read from the environment each time (GLib's own user folder is fixed at its first use).
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/') return std::string(data) + "/recently-used.xbel";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : g_get_home_dir()) +
           "/.local/share/recently-used.xbel";
}

bool AddRecentFile(const std::string& path, const char* mimeType) {
    Chars absolute(g_canonicalize_filename(path.c_str(), nullptr));
    Chars uri(g_filename_to_uri(absolute.get(), nullptr, nullptr));
    if (!uri) return false;
    const std::string list = RecentFilesPath();
    std::unique_ptr<GBookmarkFile, FreeBookmarks> bookmarks(g_bookmark_file_new());
    GError* error = nullptr;
    if (!g_bookmark_file_load_from_file(bookmarks.get(), list.c_str(), &error)) {
        const bool missing = g_error_matches(error, G_FILE_ERROR, G_FILE_ERROR_NOENT);
        g_error_free(error);
        if (!missing) return false;  // someone's damaged or unreadable list: not ours to replace
        Chars folder(g_path_get_dirname(list.c_str()));
        if (g_mkdir_with_parents(folder.get(), 0700) != 0) return false;
    }
    g_bookmark_file_set_mime_type(bookmarks.get(), uri.get(), mimeType);
    // "%u" is replaced by the file's address when a desktop opens it with us.
    g_bookmark_file_add_application(bookmarks.get(), uri.get(), "Kadrovo", "kadrovo %u");
    error = nullptr;
    const bool written = g_bookmark_file_to_file(bookmarks.get(), list.c_str(), &error);
    if (error) g_error_free(error);
    return written;
}
