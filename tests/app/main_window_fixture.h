// A headless main window in its starting state, its dialogs answered by a script.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/mainwindow.h"
#include "app/shell.h"
#include "app/state.h"
#include "toolkit/requester.h"

// Answers the dialogs from queues (cancel, OK once a queue is empty) and records what was asked:
// "Title: text [flags]" and "save 'Title' folder/name, filter 'pattern' index" ("open ...").
struct Script : RequesterScript {
    std::deque<std::string> files;
    std::deque<int> answers;
    std::vector<std::string> fileCalls, messages;
    int Message(const std::string& title, const std::string& text, int flags) override {
        messages.push_back(title + ": " + text + " [" + std::to_string(flags) + "]");
        if (answers.empty()) return IDOK;
        const int a = answers.front();
        answers.pop_front();
        return a;
    }
    std::string File(bool save, const std::string& title, const std::string& folder,
                     const std::string& name, const std::string& pattern, int index) override {
        fileCalls.push_back((save ? "save '" : "open '") + title + "' " + folder + "/" + name +
                            ", filter '" + pattern + "' " + std::to_string(index));
        if (files.empty()) return "";
        const std::string f = files.front();
        files.pop_front();
        return f;
    }
};

// The bytes of the file at `path`; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class MainWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(StartUpLibraries()); }
    void SetUp() override {
        ShutDownLibraries();
        AppStateReset();
        RequesterSetScript(&script);
        ASSERT_TRUE(BuildMainWindow());
        SetStartingState();
    }
    void TearDown() override {
        RequesterSetScript(nullptr);
        ShutDownLibraries();  // windows closed, images released: nothing outlives the test
    }

    Script script;
};
