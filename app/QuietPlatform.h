#pragma once
// A desktop with nobody in front of it, for the build-time tools and the
// program text, which drive the core without a window: messages are kept,
// questions answered Cancel (or No), dialogs cancelled and waits skipped.

#include <string>
#include <vector>

#include "app/Platform.h"

class QuietPlatform : public Platform {
public:
    std::vector<std::string> messages;
    void message(const std::string& text) override { messages.push_back(text); }
    Answer askYesNo(const std::string&) override { return Answer::No; }
    Answer askYesNoCancel(const std::string&) override { return Answer::Cancel; }
    void wait(int) override {}
    void setBusyCursor(bool) override {}
    void repaint() override {}
    bool saveDialog(std::string&) override { return false; }
    bool openDialog(std::string&) override { return false; }
    bool openDocument(const std::string&) override { return false; }
    void closeMainWindow() override {}
    void showStatusWindow(StatusWindow) override {}
};
