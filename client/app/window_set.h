#pragma once
// The program's windows in their order of creation, as their definitions declare them. A handler
// shows or hides a window by setting its model's visible flag; sync() then raises the events the
// platform raises for that (Show and Activate, or Hide). Both front ends call it after every
// handler and every round of events, before they redraw.
#include <cstddef>
#include <deque>
#include <functional>
#include <string_view>

#include "client/core/window_def.h"

namespace vk {

class WindowSet {
public:
    // Appends a window; references to it stay valid while the set lives.
    const WindowDef& add(WindowDef def);
    size_t size() const { return defs_.size(); }
    const WindowDef& at(size_t i) const { return defs_.at(i); }
    const WindowDef* find(std::string_view name) const;
    auto begin() const { return defs_.begin(); }
    auto end() const { return defs_.end(); }

    // Raises Show (then Activate, when `activate`: a window the program shows becomes the
    // active one; the Qt front end has the window system's own activations instead) for each
    // window made visible since the last call, and Hide for each one hidden, until nothing
    // more changes.
    void sync(bool activate);
    // The user closes the window: its close query may keep it open (false); else its Close
    // event runs and it is hidden.
    bool close(const WindowDef& w, bool activate);
    // Runs every handler; a failure goes here instead of ending the program. Unset, it throws.
    std::function<void(const std::function<void()>&)> run;

private:
    void fire(const WindowDef& w, Event e);

    std::deque<WindowDef> defs_;
    std::deque<bool> shown_;
};

}  // namespace vk
