#include "app/Editing.h"

#include <string>

#include "app/MainState.h"
#include "app/panels/Instruction.h"
#include "modules/ModuleList.h"
#include "app/ModuleListBox.h"
#include "program/Assembly.h"
#include "program/LineStore.h"

namespace {

const char* const kProgramFull = "The program is full: it can hold at most 8192 lines.";

bool IsEndMarker(const MainState& s, int line) { return line >= s.lineCount; }

// Add after a successful build: insert the builder record before the current line.
void InsertBuilt(MainState& s) {
    InsertLine(s, s.currentLine, s.builderLine);
    ++s.currentLine;
    s.form.LabelEdit.text.clear();
    KeepSelectionOneBlock(s);
    ScrollRuleA(s);
    MarkProgramChanged(s);
}

// Puts text into CommentEdit.  A change of its text, made by the program as
// well as by the user, runs its change handler (Comment becomes the default).
void SetCommentEditText(MainState& s, const std::string& text) {
    if (s.form.CommentEdit.text == text) return;
    s.form.CommentEdit.text = text;
    CommentEditChange(s);
}

void InsertComment(MainState& s) {
    ProgramLine line;
    line.setComment(";" + s.form.CommentEdit.text.substr(0, kCommentChars - 1));
    InsertLine(s, s.currentLine, line);
    ++s.currentLine;
    SetCommentEditText(s, std::string());
    KeepSelectionOneBlock(s);
    ScrollRuleA(s);
    MarkProgramChanged(s);
}

}  // namespace

bool InsertLine(MainState& s, int k, const ProgramLine& line) {
    if (!InsertRecord(s, k, line)) return false;
    s.listing.insert(k, FormatListingText(s, line));
    return true;
}

void RemoveLine(MainState& s, int k) {
    if (RemoveRecord(s, k)) s.listing.remove(k);
}

void ScrollRuleA(MainState& s) {
    if (s.listing.topIndex() < s.currentLine - 20) s.listing.setTopIndex(s.currentLine - 20);
}

void ScrollRuleB(MainState& s, int i) {
    int t = s.listing.topIndex();
    if (t < i - 15 || t > i - 5) {
        if (i - 15 >= 0) s.listing.setTopIndex(i - 15);
    }
}

int AssembleProgram(MainState& s) {
    AssemblyError error;
    if (AssembleProgram(s, error) == 0) return 0;
    switch (error.mark) {
        case AssemblyError::Mark::Select:
            DeselectAllLines(s);
            s.currentLine = error.line;
            s.listing.select(error.line);
            ScrollRuleB(s, error.line);
            break;
        case AssemblyError::Mark::Focus: s.listing.setFocus(error.line); break;
        case AssemblyError::Mark::None: break;
    }
    s.message(error.text);
    return -1;
}

void MarkProgramChanged(MainState& s) {
    // Run, Step and Break wait for the next Load; Stop stays while the
    // program runs.
    s.programLoaded = false;
    UpdateExecutionButtons(s);
    s.form.LoadLabel.caption = "Not Loaded";
    s.form.LoadLabel.color = kRed;
    s.form.SaveLabel.caption = "Not Saved";
    s.form.SaveLabel.color = kRed;
    // The breakpoint is forgotten: so is its mark in the listing.
    ClearBreakpointMark(s);
    s.resumeFlag = false;
    ++s.programEdits;
}

void DeselectAllLines(MainState& s) { s.listing.deselectAll(); }

bool SelectionIsOneBlock(const Listing& listing) {
    int first = -1, last = -1, selected = 0;
    for (int i = 0; i < listing.count(); ++i)
        if (listing.selected(i)) {
            if (first < 0) first = i;
            last = i;
            ++selected;
        }
    return selected == 0 || last - first + 1 == selected;
}

void KeepSelectionOneBlock(MainState& s) {
    if (SelectionIsOneBlock(s.listing)) return;
    int keep = s.listing.focus();
    if (keep < 0 || keep >= s.listing.count()) keep = s.currentLine;
    DeselectAllLines(s);
    s.listing.select(keep);
}

void ShowLineAtAddress(MainState& s, uint16_t address) {
    DeselectAllLines(s);
    const int i = LineAtAddress(s, address);
    s.currentLine = i;
    s.listing.select(i);
    s.listing.setExecuting(i);
    ScrollRuleB(s, i);
}

void ShowExecutingLine(MainState& s, uint16_t address) {
    const int i = LineAtAddress(s, address);
    s.listing.setExecuting(i);
    ScrollRuleB(s, i);
}

void ClearBreakpointMark(MainState& s) {
    if (s.breakpointLine == -1) return;
    int b = s.breakpointLine;
    if (b >= 0 && b < s.lineCount && b < s.listing.count()) {
        std::string text = s.listing.text(b);
        if (!text.empty()) {
            text[0] = s.lines[b].label[0] != '\0' ? s.lines[b].label[0] : ' ';
            s.listing.setText(b, text);
        }
    }
    s.breakpointLine = -1;
}

void CopySelectedLines(MainState& s) {
    s.copyCount = 0;
    for (int i = 0; i < s.lineCount && i < s.listing.count(); ++i)
        if (s.listing.selected(i)) s.copyBuffer[s.copyCount++] = s.lines[i];
}

void AddInstrButtonClick(MainState& s) {
    if (s.lineCount >= kMaxLines) {
        s.message(kProgramFull);
        return;
    }
    if (BuildInstruction(s) != 0) return;
    InsertBuilt(s);
}

void CommentButtonClick(MainState& s) {
    if (s.lineCount >= kMaxLines) {
        s.message(kProgramFull);
        return;
    }
    InsertComment(s);
}

void ChangeButtonClick(MainState& s) {
    if (s.currentLine < 0 || IsEndMarker(s, s.currentLine)) return;
    if (s.lines[s.currentLine].isComment()) {
        DeleteButtonClick(s);
        InsertComment(s);
    } else {
        if (BuildInstruction(s) != 0) return;
        DeleteButtonClick(s);
        // Add builds again from the same controls: the same record results.
        if (BuildInstruction(s) != 0) return;
        InsertBuilt(s);
    }
    s.listing.select(s.currentLine, false);
    --s.currentLine;
    s.listing.select(s.currentLine);
    MarkProgramChanged(s);
}

void DeleteButtonClick(MainState& s) {
    if (s.currentLine < 0 || IsEndMarker(s, s.currentLine)) return;
    RemoveLine(s, s.currentLine);
    s.listing.select(s.currentLine);
    MarkProgramChanged(s);
}

void ClearButtonClick(MainState& s) {
    if (s.ui.askYesNo("Are you sure you want to clear the entire program?") != Answer::Yes) return;
    s.listing.clear();
    s.listing.add(kEndMarker);
    s.listing.select(0);
    ClearLines(s);
    // The cleared program belongs to no file: the next Save asks for a new
    // name instead of overwriting the file the old program came from.
    s.rememberedFile.clear();
    s.programFile = FileIdentity();
    s.form.caption = kMainCaption;
    MarkProgramChanged(s);
}

void CopyButtonClick(MainState& s) {
    CopySelectedLines(s);
    DeselectAllLines(s);
    s.listing.select(s.currentLine);
}

void CutButtonClick(MainState& s) {
    CopySelectedLines(s);
    s.currentLine = s.lineCount;
    for (int i = 0; i < s.lineCount; ++i)
        if (s.listing.selected(i)) {
            s.currentLine = i;
            break;
        }
    // Exactly the lines just copied are removed (one block starting at the
    // current line), and the line after them is selected, as Delete does.
    for (int i = s.lineCount - 1; i >= s.currentLine; --i)
        if (s.listing.selected(i)) RemoveLine(s, i);
    if (s.copyCount > 0) s.listing.select(s.currentLine);
    MarkProgramChanged(s);
}

void PasteButtonClick(MainState& s) {
    if (s.lineCount + s.copyCount > kMaxLines) {
        s.message(kProgramFull);
        return;
    }
    for (int k = 0; k < s.copyCount; ++k) {
        InsertLine(s, s.currentLine, s.copyBuffer[k]);
        ++s.currentLine;
    }
    DeselectAllLines(s);
    s.listing.select(s.currentLine);
    s.form.LabelEdit.text.clear();
    ScrollRuleA(s);
    MarkProgramChanged(s);
}

void ProgramListBoxClick(MainState& s) {
    int focus = s.listing.focus();
    if (focus < 0) return;
    // Whatever keys or clicks the user combined, the selection stays one block
    // that holds the focus item; otherwise the focus item is selected alone.
    if (focus < s.listing.count() && (!s.listing.selected(focus) || !SelectionIsOneBlock(s.listing))) {
        DeselectAllLines(s);
        s.listing.select(focus);
    }
    s.currentLine = focus > s.lineCount ? s.lineCount : focus;
    // The user has chosen a line: a Step's stop no longer moves the selection.
    s.stepMovesSelection = false;
    ShowCurrentLineInBuilder(s);
}

void ShowCurrentLineInBuilder(MainState& s) {
    if (s.currentLine < 0 || IsEndMarker(s, s.currentLine)) return;
    s.builderLine = s.lines[s.currentLine];
    if (s.builderLine.isComment()) {
        SelectModule(s, 0);
        s.form.ChangeButton.enabled = true;
        SetCommentEditText(s, s.builderLine.commentText().substr(1));
        return;
    }
    int address = s.builderLine.moduleAddress;
    SelectModule(s, address);
    if (address >= int(s.form.ModuleListBox.items.size())) return;  // not in the module list
    int type = ModuleTypeOf(s, address);
    if (!HasFamily(type)) return;
    LoadInstruction(s);
    s.form.LabelEdit.text = s.builderLine.labelText();
}

void ProgramListBoxMouseDown(MainState& s, bool ctrl) {
    if (!ctrl) return;
    DeselectAllLines(s);
    if (s.listing.focus() >= 0) s.listing.select(s.listing.focus());
}

void CommentEditChange(MainState& s) { s.form.commentIsDefault = true; }

void GroupBox2Enter(MainState& s) { s.form.commentIsDefault = false; }

void RebuildListing(MainState& s) {
    s.listing.clear();
    for (int i = 0; i < s.lineCount; ++i) s.listing.add(FormatListingText(s, s.lines[i]));
    s.listing.add(kEndMarker);
    s.listing.select(0);
    s.currentLine = 0;
}
