#pragma once
// Value types for the controls that the form models hold. They carry only what the logic reads
// or writes; the front ends (Qt, headless) build their widgets from them and refresh after
// every handler.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vk {

using Color = uint32_t;  // 0xRRGGBB
inline constexpr Color clBlack = 0x000000;
inline constexpr Color clGreen = 0x008000;  // RGB 0,128,0
inline constexpr Color clRed = 0xFF0000;    // RGB 255,0,0

struct Label {
    Label(std::string c = {}, std::string h = {}) : caption(std::move(c)), hint(std::move(h)) {}
    std::string caption;
    Color color = clBlack;
    std::string hint;
    bool visible = true;
};

struct Panel {
    Panel(std::string c = {}, std::string h = {}) : caption(std::move(c)), hint(std::move(h)) {}
    std::string caption;
    std::string hint;
};

struct Edit {
    Edit(std::string t = {}, bool e = true, std::string h = {}) : text(std::move(t)), enabled(e), hint(std::move(h)) {}
    std::string text;
    bool enabled = true;
    bool visible = true;
    std::string hint;
};

struct Button {
    Button(std::string c = {}, bool e = true, std::string h = {}) : caption(std::move(c)), enabled(e), hint(std::move(h)) {}
    std::string caption;
    bool enabled = true;
    bool visible = true;
    std::string hint;
};

struct CheckBox {
    CheckBox(std::string c = {}, bool ch = false, bool e = true, std::string h = {})
        : caption(std::move(c)), checked(ch), enabled(e), hint(std::move(h)) {}
    std::string caption;
    bool checked = false;
    bool enabled = true;
    bool visible = true;
    std::string hint;
};

using RadioButton = CheckBox;

struct RadioGroup {
    RadioGroup(std::string c = {}) : caption(std::move(c)) {}
    std::string caption;
    bool visible = true;
};

struct MenuItem {
    MenuItem(std::string c = {}, bool e = true, std::string h = {}, std::string sc = {}, bool ch = false)
        : caption(std::move(c)), enabled(e), checked(ch), hint(std::move(h)), shortcut(std::move(sc)) {}
    std::string caption;
    bool enabled = true;
    bool checked = false;
    std::string hint;
    std::string shortcut;  // "Ctrl+L" etc.
};

// A memo keeps each added text as one entry, exactly as given (a text may hold CR LF; the
// front end shows it on several rows).
struct Memo {
    Memo(std::string h = {}) : hint(std::move(h)) {}
    std::vector<std::string> lines;
    std::string hint;
    void Add(std::string s) { lines.push_back(std::move(s)); }
    void Clear() { lines.clear(); }
};

struct ListBox {
    std::vector<std::string> items;
    int itemIndex = -1;
};

struct ComboBox {
    ComboBox(std::vector<std::string> i = {}, std::string t = {}, int idx = -1, std::string h = {})
        : items(std::move(i)), text(std::move(t)), itemIndex(idx), hint(std::move(h)) {}
    std::vector<std::string> items;
    std::string text;
    int itemIndex = -1;
    std::string hint;
};

}  // namespace vk
