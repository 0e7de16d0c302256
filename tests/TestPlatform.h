#pragma once
// A scripted desktop for tests: records every message and question, answers
// questions from a queue, and skips waits (adding them up instead).

#include <deque>
#include <string>
#include <vector>

#include "app/Platform.h"

class TestPlatform : public Platform {
public:
    std::vector<std::string> messages;     // acknowledgement boxes, in order
    std::vector<std::string> questions;    // questions asked, in order
    std::deque<Answer> answers;            // scripted answers (default: the default button)
    std::deque<std::string> saveNames;     // scripted save dialog results ("" = cancel)
    std::deque<std::string> openNames;     // scripted open dialog results ("" = cancel)
    std::vector<std::string> proposedSaveNames;
    int waitedMs = 0;
    std::vector<int> waits;
    int busyDepth = 0;
    bool busy = false;
    int repaints = 0;
    bool documentOpens = false;
    std::vector<std::string> documents;
    int closeRequests = 0;
    std::vector<StatusWindow> statusWindows;

    void message(const std::string& text) override { messages.push_back(text); }
    Answer askYesNo(const std::string& text) override {
        questions.push_back(text);
        return next(Answer::No);
    }
    Answer askYesNoCancel(const std::string& text) override {
        questions.push_back(text);
        return next(Answer::Yes);
    }
    void wait(int ms) override {
        waitedMs += ms;
        waits.push_back(ms);
    }
    void setBusyCursor(bool on) override { busy = on; }
    void repaint() override { ++repaints; }
    bool saveDialog(std::string& fileName) override {
        proposedSaveNames.push_back(fileName);
        if (saveNames.empty()) return false;
        fileName = saveNames.front();
        saveNames.pop_front();
        return !fileName.empty();
    }
    bool openDialog(std::string& fileName) override {
        if (openNames.empty()) return false;
        fileName = openNames.front();
        openNames.pop_front();
        return !fileName.empty();
    }
    bool openDocument(const std::string& name) override {
        documents.push_back(name);
        return documentOpens;
    }
    std::string executableDir, currentDir;   // where Help looks ("" = nowhere)
    std::string executableDirectory() override { return executableDir; }
    std::string currentDirectory() override { return currentDir; }
    void closeMainWindow() override { ++closeRequests; }
    void showStatusWindow(StatusWindow which) override { statusWindows.push_back(which); }
    void showMasterDifferences() override { ++differencesShown; }
    int differencesShown = 0;

private:
    Answer next(Answer fallback) {
        if (answers.empty()) return fallback;
        Answer a = answers.front();
        answers.pop_front();
        return a;
    }
};
