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
inline constexpr Color clWhite = 0xFFFFFF;
inline constexpr Color clGray = 0x808080;   // RGB 128,128,128
inline constexpr Color clOlive = 0x808000;  // RGB 128,128,0
// No colour set by the program: the front end's own.
inline constexpr Color clDefault = 0xFFFFFFFFu;

// What every control has. `color` is the font colour, `background` the control's own colour
// where the program sets one.
struct ControlBase {
    std::string hint;
    bool enabled = true;
    bool visible = true;
    Color color = clBlack;
    Color background = clDefault;
};

struct Label : ControlBase {
    Label(std::string c = {}, std::string h = {}) : caption(std::move(c)) { hint = std::move(h); }
    std::string caption;
};

struct Panel : ControlBase {
    Panel(std::string c = {}, std::string h = {}) : caption(std::move(c)) { hint = std::move(h); }
    std::string caption;
};

struct Edit : ControlBase {
    Edit(std::string t = {}, bool e = true, std::string h = {}) : text(std::move(t)) {
        enabled = e;
        hint = std::move(h);
    }
    std::string text;
};

struct Button : ControlBase {
    Button(std::string c = {}, bool e = true, std::string h = {}) : caption(std::move(c)) {
        enabled = e;
        hint = std::move(h);
    }
    std::string caption;
};

struct CheckBox : ControlBase {
    CheckBox(std::string c = {}, bool ch = false, bool e = true, std::string h = {})
        : caption(std::move(c)), checked(ch) {
        enabled = e;
        hint = std::move(h);
    }
    std::string caption;
    bool checked = false;
};

using RadioButton = CheckBox;

struct RadioGroup : ControlBase {
    RadioGroup(std::string c = {}) : caption(std::move(c)) {}
    std::string caption;
};

// A drop-down menu of the menu bar; its items name it as their parent.
struct Menu : ControlBase {
    Menu(std::string c = {}) : caption(std::move(c)) {}
    std::string caption;
};

struct MenuItem : ControlBase {
    MenuItem(std::string c = {}, bool e = true, std::string h = {}, std::string sc = {}, bool ch = false)
        : caption(std::move(c)), checked(ch), shortcut(std::move(sc)) {
        enabled = e;
        hint = std::move(h);
    }
    std::string caption;
    bool checked = false;
    std::string shortcut;  // "Ctrl+L" etc.
};

// A memo keeps each added text as one entry, exactly as given (a text may hold CR LF; the
// front end shows it on several rows). A memo the user may type into is not read-only; the
// front end then writes the typed rows back into `lines`.
struct Memo : ControlBase {
    Memo(std::string h = {}, bool ro = true) : readOnly(ro) { hint = std::move(h); }
    std::vector<std::string> lines;
    bool readOnly = true;
    void Add(std::string s) { lines.push_back(std::move(s)); }
    void Clear() { lines.clear(); }
};

struct ListBox : ControlBase {
    std::vector<std::string> items;
    int itemIndex = -1;
};

struct ComboBox : ControlBase {
    ComboBox(std::vector<std::string> i = {}, std::string t = {}, int idx = -1, std::string h = {})
        : items(std::move(i)), text(std::move(t)), itemIndex(idx) {
        hint = std::move(h);
    }
    std::vector<std::string> items;
    std::string text;
    int itemIndex = -1;
};

// A string grid: `cells[r][c]` for the rows it shows; `row` is the selected row (-1 none).
struct Grid : ControlBase {
    Grid(int cols = 1, int rows = 0, std::string h = {}) : rowCount(rows), colCount(cols) { hint = std::move(h); }
    int rowCount = 0;
    int colCount = 1;
    int row = -1;
    std::vector<int> colWidths;  // pixels; empty = the front end's
    std::vector<std::vector<std::string>> cells;
    // The cell at column c, row r (grown as needed), as the platform's Cells[c][r].
    std::string& cell(int c, int r) {
        if (r >= static_cast<int>(cells.size())) cells.resize(static_cast<size_t>(r) + 1);
        auto& line = cells[static_cast<size_t>(r)];
        if (c >= static_cast<int>(line.size())) line.resize(static_cast<size_t>(c) + 1);
        return line[static_cast<size_t>(c)];
    }
};

struct ProgressBar : ControlBase {
    int position = 0;
    int min = 0;
    int max = 100;
};

}  // namespace vk
