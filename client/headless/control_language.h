#pragma once
// The control language of the headless client: one command a line, each addressing a window
// or a control by the names of the window definitions, each answered by one completion line.
//
//   click F.C | dblclick F.C | select F.C I | set F.C TEXT | get F.C | get F
//   show F | hide F | activate F | click F | answer B | wait MS
//
// A command does what the user's action would: the model changes as the widget would change
// it, then the handler of the event table runs. Completion: "= ok", "= " + JSON for get, or
// "= error: REASON"; nothing is changed by a command that fails.
#include <deque>
#include <functional>
#include <string>
#include <string_view>

#include "client/app/window_set.h"
#include "platform/dialogs.h"

namespace vk {

class ControlLanguage {
public:
    ControlLanguage(WindowSet& windows, std::deque<BoxButton>& answers) : windows_(windows), answers_(answers) {}

    struct Result {
        std::string completion;  // "= ok", "= {...}", "= error: ..."; empty while waitMs runs
        int waitMs = -1;         // `wait`: serve events this long, then complete with "= ok"
    };
    // Runs one line. Handlers run through the set's `run`, and the set is synced afterwards.
    Result run(std::string_view line);

private:
    Result control(std::string_view verb, const WindowDef& w, const ControlDef& c, std::string_view arg);
    void handle(const WindowDef& w, const std::string& component, Event e);

    WindowSet& windows_;
    std::deque<BoxButton>& answers_;
};

// JSON of a control's state, and of a window (caption, visible, then every control by name).
// Texts are 8-bit: each byte is written as its Latin-1 character.
std::string ControlJson(const ControlDef& c);
std::string WindowJson(const WindowDef& w);
std::string JsonString(std::string_view bytes);
// The escapes of `set`: \\, \n, \r and \xHH. False for any other escape or a cut one.
bool Unescape(std::string_view in, std::string& out);
// A box text on one line: CR, LF, backslash and other control bytes as \r, \n, \\, \xHH.
std::string EscapeLine(std::string_view text);
// "OK", "Cancel", "Yes", "No", "Abort", "Retry", "Ignore".
const char* ButtonName(BoxButton b);
bool ParseButton(std::string_view name, BoxButton& b);

}  // namespace vk
