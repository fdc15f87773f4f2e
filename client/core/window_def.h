#pragma once
// A window as its definition file declares it: the form's name, caption and visibility; its
// controls under their component names, each with its kind, place and model; and its event
// table (component + event -> handler). The subsystem that owns a window declares it once;
// the Qt front end builds its widgets from it and the headless one its control language, so
// neither names a control by hand.
//
//   WindowDef BlockedServers::Window() {
//       WindowDef w("blockedIPs", f_.Caption, f_.visible, {300, 360});
//       w.add("servip", f_.servip, {8, 24, 280, 21});
//       w.add("blockserv", f_.blockserv, {8, 320, 130, 25});
//       w.on("blockserv", Event::Click, [this] { toggleip(); });
//       return w;
//   }
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "client/core/controls.h"

namespace vk {

enum class Kind {
    Label, Panel, Edit, Button, CheckBox, RadioButton, RadioGroup, Menu, MenuItem,
    Memo, ListBox, ComboBox, Grid, ProgressBar,
};

// Control events (Click, DblClick, Change) and the form's own (Click on the form itself, under
// the component name ""; Create, Show, Activate, Hide, Close).
enum class Event { Click, DblClick, Change, Create, Show, Activate, Hide, Close };

const char* KindName(Kind k);
const char* EventName(Event e);

// Left, top, width, height in pixels, as the definition file places a control; a window's
// place gives its size (width, height) and, when left or top is set, its position.
struct Place {
    int left = 0, top = 0, width = 0, height = 0;
};

// How a control looks beyond its model: only what the program's windows need.
struct Style {
    int fontSize = 0;  // points; 0 = the front end's
    bool bold = false;
    bool centered = false;
    bool framed = false;    // a sunken frame (status lines, panels)
    bool wordWrap = false;
};

using Model = std::variant<Label*, Panel*, Edit*, Button*, CheckBox*, RadioGroup*, Menu*, MenuItem*, Memo*,
                           ListBox*, ComboBox*, Grid*, ProgressBar*>;

struct ControlDef {
    std::string name;
    Kind kind;
    Model model;
    Place place;
    // The menu of a menu item ("" = the menu bar itself), the group of a radio button (radio
    // buttons of one group exclude each other; one without a group stands alone).
    std::string parent;
    Style style;
    // What the headless client prints before this control's changes ("[status] "); empty for
    // "[form.component] ". A control with a prefix is printed from its first state on.
    std::string printAs;
};

struct EventDef {
    std::string component;  // "" = the form
    Event event;
    std::function<void()> handler;
};

class WindowDef {
public:
    WindowDef(std::string name, std::string& caption, bool& visible, Place place = {});

    // Controls, in their order on the window (tab order, and the order `get FORM` lists them).
    ControlDef& add(std::string name, Label& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, Panel& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, Edit& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, Button& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, CheckBox& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, RadioGroup& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, Memo& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, ListBox& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, ComboBox& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, Grid& m, Place p = {}, Style s = {});
    ControlDef& add(std::string name, ProgressBar& m, Place p = {}, Style s = {});
    // A radio button; `group` names its RadioGroup ("" = standing alone).
    ControlDef& radio(std::string name, RadioButton& m, Place p = {}, std::string group = {});
    // A drop-down menu of the menu bar, and an item of one ("" = an item on the bar itself).
    ControlDef& menu(std::string name, Menu& m);
    ControlDef& item(std::string name, MenuItem& m, std::string menu);

    // An entry of the event table.
    WindowDef& on(std::string component, Event e, std::function<void()> handler);
    // OnCloseQuery: false keeps the window open.
    WindowDef& onCloseQuery(std::function<bool()> query);
    // A status line (a Label) that shows the hint of the control under the mouse, as a status
    // bar with automatic hints does. Only a front end with a mouse has one to follow.
    WindowDef& hintsTo(std::string label) {
        hintLabel_ = std::move(label);
        return *this;
    }
    const std::string& hintLabel() const { return hintLabel_; }
    // What the headless client prints before the window's caption when it changes (the
    // caption is printed from its first state on); empty: only its showing and hiding.
    WindowDef& printCaptionAs(std::string prefix) {
        captionPrintAs_ = std::move(prefix);
        return *this;
    }

    const std::string& name() const { return name_; }
    std::string& caption() const { return *caption_; }
    bool& visible() const { return *visible_; }
    const Place& place() const { return place_; }
    const std::vector<ControlDef>& controls() const { return controls_; }
    const std::vector<EventDef>& events() const { return events_; }
    std::vector<EventDef>& events() { return events_; }
    const std::function<bool()>& closeQuery() const { return closeQuery_; }
    const std::string& captionPrintAs() const { return captionPrintAs_; }

    const ControlDef* control(std::string_view name) const;
    // The handler for a component's event, or null.
    const std::function<void()>* handler(std::string_view component, Event e) const;
    // Runs the handler if there is one; true when there was.
    bool fire(std::string_view component, Event e) const;
    bool hasMenu() const;

private:
    ControlDef& push(std::string name, Kind kind, Model model, Place p, Style s, std::string parent = {});

    std::string name_;
    std::string* caption_;
    bool* visible_;
    Place place_;
    std::vector<ControlDef> controls_;
    std::vector<EventDef> events_;
    std::function<bool()> closeQuery_;
    std::string captionPrintAs_;
    std::string hintLabel_;
};

}  // namespace vk
