#include "client/app/window_set.h"

#include <utility>

namespace vk {

const WindowDef& WindowSet::add(WindowDef def) {
    defs_.push_back(std::move(def));
    shown_.push_back(defs_.back().visible());
    return defs_.back();
}

const WindowDef* WindowSet::find(std::string_view name) const {
    for (const auto& w : defs_)
        if (w.name() == name) return &w;
    return nullptr;
}

void WindowSet::fire(const WindowDef& w, Event e) {
    const auto* h = w.handler("", e);
    if (!h || !*h) return;
    if (run) run(*h);
    else (*h)();
}

void WindowSet::sync(bool activate) {
    // A show handler may show or hide other windows; a window that keeps flipping its own
    // flag must not hold the program, so the rounds are bounded.
    for (int round = 0; round < 16; ++round) {
        bool changed = false;
        for (size_t i = 0; i < defs_.size(); ++i) {
            const WindowDef& w = defs_[i];
            if (w.visible() == shown_[i]) continue;
            changed = true;
            shown_[i] = w.visible();
            if (shown_[i]) {
                fire(w, Event::Show);
                if (activate && w.visible()) fire(w, Event::Activate);
            } else {
                fire(w, Event::Hide);
            }
        }
        if (!changed) return;
    }
}

bool WindowSet::close(const WindowDef& w, bool activate) {
    bool may = true;
    if (w.closeQuery()) {
        if (run) run([&] { may = w.closeQuery()(); });
        else may = w.closeQuery()();
    }
    if (!may) return false;
    fire(w, Event::Close);
    w.visible() = false;
    sync(activate);
    return true;
}

}  // namespace vk
