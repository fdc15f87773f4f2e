#include "client/headless/printer.h"

#include <type_traits>

#include "common/text.h"

namespace vk {

namespace {

// Wire bytes (0xC8, cipher text) are shown escaped; line breaks inside a text continue the line.
std::string Printable(const std::string& text) { return EscapeBytes(text, "\n    "); }

std::string Joined(const std::vector<std::string>& rows) {
    std::string all;
    for (const auto& r : rows) all += r + '\n';
    return all;
}

std::string Prefix(const WindowDef& w, const ControlDef& c) {
    return c.printAs.empty() ? "[" + w.name() + "." + c.name + "] " : c.printAs;
}

}  // namespace

std::vector<std::string> ShownRows(const ControlDef& c) {
    std::vector<std::string> rows;
    std::visit(
        [&](auto* m) {
            using M = std::remove_pointer_t<decltype(m)>;
            if constexpr (std::is_same_v<M, Label> || std::is_same_v<M, Panel>) rows.push_back(m->caption);
            else if constexpr (std::is_same_v<M, Edit> || std::is_same_v<M, ComboBox>) rows.push_back(m->text);
            else if constexpr (std::is_same_v<M, ListBox>) {
                for (size_t i = 0; i < m->items.size(); ++i) rows.push_back(std::to_string(i) + ": " + m->items[i]);
            } else if constexpr (std::is_same_v<M, Grid>) {
                for (int r = 0; r < m->rowCount && r < static_cast<int>(m->cells.size()); ++r) {
                    std::string row = std::to_string(r) + ":";
                    for (const auto& cell : m->cells[static_cast<size_t>(r)]) row += " | " + cell;
                    rows.push_back(row);
                }
            }
        },
        c.model);
    return rows;
}

void Printer::take(const WindowDef& w, Seen& seen) {
    // Controls with a prefix of their own are printed from their first state; the others only
    // when they change after the window was made.
    seen.caption = w.captionPrintAs().empty() ? w.caption() : "";
    seen.visible = false;
    for (const auto& c : w.controls()) {
        if (c.kind == Kind::Memo) {
            seen.lines[c.name] = c.printAs.empty() ? std::get<Memo*>(c.model)->lines.size() : 0;
        } else {
            seen.texts[c.name] = c.printAs.empty() ? Joined(ShownRows(c)) : "";
        }
    }
}

void Printer::print() {
    while (seen_.size() < windows_.size()) {
        seen_.emplace_back();
        take(windows_.at(seen_.size() - 1), seen_.back());
    }
    for (size_t i = 0; i < windows_.size(); ++i) {
        const WindowDef& w = windows_.at(i);
        Seen& seen = seen_[i];
        for (const auto& c : w.controls()) {
            const std::string prefix = Prefix(w, c);
            if (c.kind == Kind::Memo) {
                const auto& lines = std::get<Memo*>(c.model)->lines;
                size_t& shown = seen.lines[c.name];
                if (lines.size() < shown) shown = 0;  // cleared
                for (; shown < lines.size(); ++shown) out_ << prefix << Printable(lines[shown]) << "\n";
                continue;
            }
            const std::vector<std::string> rows = ShownRows(c);
            const std::string now = Joined(rows);
            std::string& last = seen.texts[c.name];
            if (now == last) continue;
            last = now;
            if (rows.empty()) out_ << prefix << "(empty)\n";
            for (const auto& row : rows) out_ << prefix << Printable(row) << "\n";
        }
        if (!w.captionPrintAs().empty() && w.caption() != seen.caption) {
            seen.caption = w.caption();
            out_ << w.captionPrintAs() << Printable(w.caption()) << "\n";
        }
        if (w.visible() != seen.visible) {
            seen.visible = w.visible();
            out_ << "[window] " << Printable(w.caption()) << (w.visible() ? " shown" : " hidden") << "\n";
            if (w.visible()) {
                // What the window shows, as a player would read it.
                for (const auto& c : w.controls()) {
                    if (c.kind == Kind::Memo) continue;
                    for (const auto& row : ShownRows(c)) out_ << "  " << c.name << ": " << Printable(row) << "\n";
                }
            }
        }
    }
    out_.flush();
}

}  // namespace vk
