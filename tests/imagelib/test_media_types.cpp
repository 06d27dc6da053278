// The desktop offers the program for the media types its menu entry and its software-centre
// description list; both must name exactly the types of the format table, so that a format the
// loader learns is offered and one it drops is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "imagelib/load.h"
#include "load_fixtures.h"

namespace {

using Types = std::set<std::string>;

std::string ReadText(const std::string& path) {
    const fixtures::Bytes b = fixtures::ReadFile(path);
    return std::string(b.begin(), b.end());
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// The words of `text` between separators, each once.
Types Split(const std::string& text, char separator) {
    Types words;
    std::istringstream in(text);
    std::string word;
    while (std::getline(in, word, separator))
        if (!word.empty()) words.insert(word);
    return words;
}

Types TableTypes() {
    Types types;
    for (const ImageDecoder* format : ImageFormats())
        types.merge(Split(format->mediaTypes, ' '));
    return types;
}

// The MimeType key of the [Desktop Entry] group.
Types DesktopEntryTypes(const std::string& text) {
    std::smatch m;
    static const std::regex key(R"(^MimeType=(.*)$)", std::regex::multiline);
    return std::regex_search(text, m, key) ? Split(m[1], ';') : Types{};
}

// The <mediatype> elements (of <provides>, the only place AppStream has them).
Types MetainfoTypes(const std::string& text) {
    Types types;
    static const std::regex element(R"(<mediatype>\s*([^<\s]+)\s*</mediatype>)");
    for (std::sregex_iterator i(text.begin(), text.end(), element), end; i != end; ++i)
        types.insert((*i)[1]);
    return types;
}

TEST(OfferedTypes, AreExactlyTheFormatTableTypes) {
    const std::pair<const char*, Types (*)(const std::string&)> lists[] = {
        {"desktop/org.kadrovo.Kadrovo.desktop", DesktopEntryTypes},
        {"desktop/org.kadrovo.Kadrovo.metainfo.xml.in", MetainfoTypes}};
    for (const auto& [file, types] : lists) {
        const std::string text = ReadText(std::string(KADROVO_SOURCE_DIR) + "/" + file);
        ASSERT_FALSE(text.empty()) << file;
        EXPECT_EQ(types(text), TableTypes()) << file;
    }
}

// Every format offers at least one type, and each is a name the shared MIME database knows (as
// a type or an alias), so that a misspelt one is not silently never matched.
TEST(OfferedTypes, EachFormatHasTypesTheMimeDatabaseKnows) {
    Types known;
    const std::string database = "/usr/share/mime";
    // Without the database (nothing read) the names go unchecked.
    for (const std::string& line : Split(ReadText(database + "/types"), '\n'))
        known.insert(Lower(line));
    for (const std::string& line : Split(ReadText(database + "/aliases"), '\n'))
        known.insert(Lower(line.substr(0, line.find(' '))));
    for (const ImageDecoder* format : ImageFormats()) {
        const Types types = Split(format->mediaTypes, ' ');
        EXPECT_FALSE(types.empty()) << format->name;
        for (const std::string& type : types) {
            EXPECT_TRUE(type.rfind("image/", 0) == 0) << format->name << ": " << type;
            EXPECT_TRUE(known.empty() || known.count(Lower(type))) << format->name << ": " << type;
        }
    }
}

}  // namespace
