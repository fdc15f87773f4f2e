#pragma once
// What the headless client prints as the windows change, following their definitions: a
// window's caption (where its definition asks for it), its showing and hiding with what it
// shows, each memo's new lines, and every text, list and grid of a control when it changes.
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "client/app/window_set.h"

namespace vk {

class Printer {
public:
    Printer(const WindowSet& windows, std::ostream& out) : windows_(windows), out_(out) {}
    // Prints what changed since the last call; windows added since are taken in first.
    void print();

private:
    struct Seen {
        std::string caption;
        bool visible = false;
        std::map<std::string, std::string> texts;  // control -> what was printed of it
        std::map<std::string, size_t> lines;       // memo -> lines printed
    };
    void take(const WindowDef& w, Seen& seen);

    const WindowSet& windows_;
    std::ostream& out_;
    std::vector<Seen> seen_;
};

// What a control shows as text, one entry a row ("" for controls that show none).
std::vector<std::string> ShownRows(const ControlDef& c);

}  // namespace vk
