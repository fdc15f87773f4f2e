#include "client/core/window_def.h"

#include <utility>

namespace vk {

const char* KindName(Kind k) {
    switch (k) {
    case Kind::Label: return "label";
    case Kind::Panel: return "panel";
    case Kind::Edit: return "edit";
    case Kind::Button: return "button";
    case Kind::CheckBox: return "checkbox";
    case Kind::RadioButton: return "radiobutton";
    case Kind::RadioGroup: return "radiogroup";
    case Kind::Menu: return "menu";
    case Kind::MenuItem: return "menuitem";
    case Kind::Memo: return "memo";
    case Kind::ListBox: return "listbox";
    case Kind::ComboBox: return "combobox";
    case Kind::Grid: return "grid";
    case Kind::ProgressBar: return "progressbar";
    }
    return "?";
}

const char* EventName(Event e) {
    switch (e) {
    case Event::Click: return "Click";
    case Event::DblClick: return "DblClick";
    case Event::Change: return "Change";
    case Event::Create: return "Create";
    case Event::Show: return "Show";
    case Event::Activate: return "Activate";
    case Event::Hide: return "Hide";
    case Event::Close: return "Close";
    }
    return "?";
}

WindowDef::WindowDef(std::string name, std::string& caption, bool& visible, Place place)
    : name_(std::move(name)), caption_(&caption), visible_(&visible), place_(place) {}

ControlDef& WindowDef::push(std::string name, Kind kind, Model model, Place p, Style s, std::string parent) {
    controls_.push_back(ControlDef{std::move(name), kind, model, p, std::move(parent), s, {}});
    return controls_.back();
}

ControlDef& WindowDef::add(std::string n, Label& m, Place p, Style s) { return push(std::move(n), Kind::Label, &m, p, s); }
ControlDef& WindowDef::add(std::string n, Panel& m, Place p, Style s) { return push(std::move(n), Kind::Panel, &m, p, s); }
ControlDef& WindowDef::add(std::string n, Edit& m, Place p, Style s) { return push(std::move(n), Kind::Edit, &m, p, s); }
ControlDef& WindowDef::add(std::string n, Button& m, Place p, Style s) { return push(std::move(n), Kind::Button, &m, p, s); }
ControlDef& WindowDef::add(std::string n, CheckBox& m, Place p, Style s) {
    return push(std::move(n), Kind::CheckBox, &m, p, s);
}
ControlDef& WindowDef::add(std::string n, RadioGroup& m, Place p, Style s) {
    return push(std::move(n), Kind::RadioGroup, &m, p, s);
}
ControlDef& WindowDef::add(std::string n, Memo& m, Place p, Style s) { return push(std::move(n), Kind::Memo, &m, p, s); }
ControlDef& WindowDef::add(std::string n, ListBox& m, Place p, Style s) {
    return push(std::move(n), Kind::ListBox, &m, p, s);
}
ControlDef& WindowDef::add(std::string n, ComboBox& m, Place p, Style s) {
    return push(std::move(n), Kind::ComboBox, &m, p, s);
}
ControlDef& WindowDef::add(std::string n, Grid& m, Place p, Style s) { return push(std::move(n), Kind::Grid, &m, p, s); }
ControlDef& WindowDef::add(std::string n, ProgressBar& m, Place p, Style s) {
    return push(std::move(n), Kind::ProgressBar, &m, p, s);
}
ControlDef& WindowDef::radio(std::string n, RadioButton& m, Place p, std::string group) {
    return push(std::move(n), Kind::RadioButton, &m, p, {}, std::move(group));
}
ControlDef& WindowDef::menu(std::string n, Menu& m) { return push(std::move(n), Kind::Menu, &m, {}, {}); }
ControlDef& WindowDef::item(std::string n, MenuItem& m, std::string menu) {
    return push(std::move(n), Kind::MenuItem, &m, {}, {}, std::move(menu));
}

WindowDef& WindowDef::on(std::string component, Event e, std::function<void()> handler) {
    events_.push_back(EventDef{std::move(component), e, std::move(handler)});
    return *this;
}

WindowDef& WindowDef::onCloseQuery(std::function<bool()> query) {
    closeQuery_ = std::move(query);
    return *this;
}

const ControlDef* WindowDef::control(std::string_view name) const {
    for (const auto& c : controls_)
        if (c.name == name) return &c;
    return nullptr;
}

const std::function<void()>* WindowDef::handler(std::string_view component, Event e) const {
    for (const auto& ev : events_)
        if (ev.event == e && ev.component == component) return &ev.handler;
    return nullptr;
}

bool WindowDef::fire(std::string_view component, Event e) const {
    const auto* h = handler(component, e);
    if (!h || !*h) return false;
    (*h)();
    return true;
}

bool WindowDef::hasMenu() const {
    for (const auto& c : controls_)
        if (c.kind == Kind::Menu || c.kind == Kind::MenuItem) return true;
    return false;
}

}  // namespace vk
