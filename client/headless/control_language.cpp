#include "client/headless/control_language.h"

#include <charconv>
#include <cstdio>
#include <type_traits>

namespace vk {

namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// The first word and the rest after its blank (the rest keeps its own blanks).
std::pair<std::string_view, std::string_view> Word(std::string_view s) {
    s = Trim(s);
    const size_t sp = s.find_first_of(" \t");
    if (sp == std::string_view::npos) return {s, {}};
    std::string_view rest = s.substr(sp + 1);
    return {s.substr(0, sp), rest};
}

bool ParseInt(std::string_view s, int& v) {
    s = Trim(s);
    if (s.empty()) return false;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    return ec == std::errc() && p == s.data() + s.size();
}

std::string ColorText(Color c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%06X", c & 0xFFFFFFu);
    return buf;
}

std::string Error(const std::string& reason) { return "= error: " + reason; }

struct Json {
    std::string s = "{";
    void key(const char* k) {
        if (s.size() > 1) s += ',';
        s += JsonString(k);
        s += ':';
    }
    void str(const char* k, std::string_view v) { key(k), s += JsonString(v); }
    void num(const char* k, long long v) { key(k), s += std::to_string(v); }
    void flag(const char* k, bool v) { key(k), s += v ? "true" : "false"; }
    void list(const char* k, const std::vector<std::string>& v) {
        key(k);
        s += '[';
        for (size_t i = 0; i < v.size(); ++i) {
            if (i) s += ',';
            s += JsonString(v[i]);
        }
        s += ']';
    }
    void raw(const std::string& k, const std::string& v) {
        if (s.size() > 1) s += ',';
        s += JsonString(k) + ':' + v;
    }
    std::string done() { return s + '}'; }
};

void Common(Json& j, const ControlBase& m) {
    j.flag("enabled", m.enabled);
    j.flag("visible", m.visible);
    j.str("color", ColorText(m.color));
    if (m.background != clDefault) j.str("background", ColorText(m.background));
    j.str("hint", m.hint);
}

}  // namespace

std::string JsonString(std::string_view bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"') out += "\\\"";
        else if (c == '\\') out += "\\\\";
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + '"';
}

bool Unescape(std::string_view in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out += in[i];
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 'x': {
            if (i + 2 >= in.size()) return false;
            unsigned v = 0;
            for (size_t k = i + 1; k <= i + 2; ++k) {
                const char h = in[k];
                v <<= 4;
                if (h >= '0' && h <= '9') v |= static_cast<unsigned>(h - '0');
                else if (h >= 'a' && h <= 'f') v |= static_cast<unsigned>(h - 'a' + 10);
                else if (h >= 'A' && h <= 'F') v |= static_cast<unsigned>(h - 'A' + 10);
                else return false;
            }
            out += static_cast<char>(v);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return true;
}

std::string EscapeLine(std::string_view text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\\') out += "\\\\";
        else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

const char* ButtonName(BoxButton b) {
    switch (b) {
    case BoxButton::Ok: return "OK";
    case BoxButton::Cancel: return "Cancel";
    case BoxButton::Yes: return "Yes";
    case BoxButton::No: return "No";
    case BoxButton::Abort: return "Abort";
    case BoxButton::Retry: return "Retry";
    case BoxButton::Ignore: return "Ignore";
    }
    return "?";
}

bool ParseButton(std::string_view name, BoxButton& b) {
    for (BoxButton c : {BoxButton::Ok, BoxButton::Cancel, BoxButton::Yes, BoxButton::No, BoxButton::Abort,
                        BoxButton::Retry, BoxButton::Ignore}) {
        if (name == ButtonName(c)) {
            b = c;
            return true;
        }
    }
    return false;
}

std::string ControlJson(const ControlDef& c) {
    Json j;
    j.str("kind", KindName(c.kind));
    std::visit(
        [&](auto* m) {
            using M = std::remove_pointer_t<decltype(m)>;
            if constexpr (requires { m->caption; }) j.str("caption", m->caption);
            if constexpr (requires { m->text; }) j.str("text", m->text);
            if constexpr (std::is_same_v<M, Memo>) j.list("lines", m->lines);
            if constexpr (requires { m->items; }) {
                j.list("items", m->items);
                j.num("itemIndex", m->itemIndex);
            }
            if constexpr (requires { m->checked; }) j.flag("checked", m->checked);
            if constexpr (std::is_same_v<M, Grid>) {
                j.num("rowCount", m->rowCount);
                j.num("row", m->row);
                std::string rows = "[";
                for (int r = 0; r < m->rowCount; ++r) {
                    if (r) rows += ',';
                    rows += '[';
                    for (int col = 0; col < m->colCount; ++col) {
                        if (col) rows += ',';
                        const bool has = r < static_cast<int>(m->cells.size()) &&
                                         col < static_cast<int>(m->cells[static_cast<size_t>(r)].size());
                        rows += JsonString(has ? m->cells[static_cast<size_t>(r)][static_cast<size_t>(col)] : "");
                    }
                    rows += ']';
                }
                j.raw("cells", rows + ']');
            }
            if constexpr (std::is_same_v<M, ProgressBar>) {
                j.num("position", m->position);
                j.num("min", m->min);
                j.num("max", m->max);
            }
            Common(j, *m);
        },
        c.model);
    return j.done();
}

std::string WindowJson(const WindowDef& w) {
    Json j;
    j.str("caption", w.caption());
    j.flag("visible", w.visible());
    for (const auto& c : w.controls()) j.raw(c.name, ControlJson(c));
    return j.done();
}

void ControlLanguage::handle(const WindowDef& w, const std::string& component, Event e) {
    const auto* h = w.handler(component, e);
    if (!h || !*h) return;
    if (windows_.run) windows_.run(*h);
    else (*h)();
}

ControlLanguage::Result ControlLanguage::run(std::string_view line) {
    auto [verb, rest] = Word(line);
    if (verb.empty()) return {Error("empty command"), -1};
    if (verb == "answer") {
        BoxButton b;
        if (!ParseButton(Trim(rest), b)) return {Error("unknown button: " + std::string(Trim(rest))), -1};
        answers_.push_back(b);
        return {"= ok", -1};
    }
    if (verb == "wait") {
        int ms = 0;
        if (!ParseInt(rest, ms) || ms < 0) return {Error("wait needs milliseconds"), -1};
        return {"", ms};
    }
    const bool known = verb == "click" || verb == "dblclick" || verb == "select" || verb == "set" || verb == "get" ||
                       verb == "show" || verb == "hide" || verb == "activate";
    if (!known) return {Error("unknown command: " + std::string(verb)), -1};
    auto [target, arg] = Word(rest);
    if (target.empty()) return {Error(std::string(verb) + " needs FORM or FORM.COMPONENT"), -1};
    const size_t dot = target.find('.');
    const std::string form(target.substr(0, dot));
    const WindowDef* w = windows_.find(form);
    if (!w) return {Error("unknown form: " + form), -1};

    if (dot == std::string_view::npos) {
        Result r{"= ok", -1};
        if (verb == "get") return {"= " + WindowJson(*w), -1};
        if (verb == "show") {
            w->visible() = true;
        } else if (verb == "hide") {
            // A close query may keep it open, as it would on the screen.
            if (w->visible()) windows_.close(*w, true);
        } else if (verb == "activate") {
            handle(*w, "", Event::Activate);
        } else if (verb == "click") {
            handle(*w, "", Event::Click);
        } else {
            return {Error(std::string(verb) + " needs FORM.COMPONENT"), -1};
        }
        windows_.sync(true);
        return r;
    }
    const std::string name(target.substr(dot + 1));
    const ControlDef* c = w->control(name);
    if (!c) return {Error("unknown component: " + form + "." + name), -1};
    Result r = control(verb, *w, *c, arg);
    windows_.sync(true);
    return r;
}

ControlLanguage::Result ControlLanguage::control(std::string_view verb, const WindowDef& w, const ControlDef& c,
                                                 std::string_view arg) {
    const std::string full = w.name() + "." + c.name;
    if (verb == "get") return {"= " + ControlJson(c), -1};
    if (verb == "show" || verb == "hide" || verb == "activate") return {Error(std::string(verb) + " needs a FORM"), -1};
    const bool enabled = std::visit([](auto* m) { return m->enabled; }, c.model);
    const auto kindError = [&] { return Result{Error(std::string(verb) + " does not apply to " + full + " (a " + KindName(c.kind) + ")"), -1}; };

    if (verb == "click") {
        switch (c.kind) {
        case Kind::Button: case Kind::MenuItem: case Kind::CheckBox: case Kind::RadioButton: break;
        default: return kindError();
        }
        if (!enabled) return {Error(full + " is disabled"), -1};
        if (c.kind == Kind::CheckBox) {
            auto* m = std::get<CheckBox*>(c.model);
            m->checked = !m->checked;
        } else if (c.kind == Kind::RadioButton) {
            std::get<CheckBox*>(c.model)->checked = true;
            if (!c.parent.empty())
                for (const auto& other : w.controls())
                    if (&other != &c && other.kind == Kind::RadioButton && other.parent == c.parent)
                        std::get<CheckBox*>(other.model)->checked = false;
        }
        handle(w, c.name, Event::Click);
        return {"= ok", -1};
    }
    if (verb == "dblclick") {
        switch (c.kind) {
        case Kind::ListBox: case Kind::Grid: case Kind::Panel: case Kind::Label: break;
        default: return kindError();
        }
        if (!enabled) return {Error(full + " is disabled"), -1};
        handle(w, c.name, Event::DblClick);
        return {"= ok", -1};
    }
    if (verb == "select") {
        int i = 0;
        if (!ParseInt(arg, i)) return {Error("select needs an index"), -1};
        if (!enabled) return {Error(full + " is disabled"), -1};
        if (c.kind == Kind::ListBox) {
            auto* m = std::get<ListBox*>(c.model);
            if (i < -1 || i >= static_cast<int>(m->items.size())) return {Error("bad index " + std::to_string(i)), -1};
            m->itemIndex = i;
            handle(w, c.name, Event::Click);
        } else if (c.kind == Kind::ComboBox) {
            auto* m = std::get<ComboBox*>(c.model);
            if (i < -1 || i >= static_cast<int>(m->items.size())) return {Error("bad index " + std::to_string(i)), -1};
            m->itemIndex = i;
            if (i >= 0) m->text = m->items[static_cast<size_t>(i)];
            handle(w, c.name, Event::Change);
        } else if (c.kind == Kind::Grid) {
            auto* m = std::get<Grid*>(c.model);
            if (i < -1 || i >= m->rowCount) return {Error("bad index " + std::to_string(i)), -1};
            m->row = i;
            handle(w, c.name, Event::Click);
        } else {
            return kindError();
        }
        return {"= ok", -1};
    }
    if (verb == "set") {
        std::string text;
        if (!Unescape(arg, text)) return {Error("bad escape in: " + std::string(arg)), -1};
        if (c.kind != Kind::Edit && c.kind != Kind::ComboBox && c.kind != Kind::Memo) return kindError();
        if (!enabled) return {Error(full + " is disabled"), -1};
        if (c.kind == Kind::Edit) {
            std::get<Edit*>(c.model)->text = text;
        } else if (c.kind == Kind::ComboBox) {
            std::get<ComboBox*>(c.model)->text = text;
        } else {
            auto* m = std::get<Memo*>(c.model);
            m->lines.clear();
            size_t start = 0;
            for (;;) {
                const size_t nl = text.find('\n', start);
                m->lines.push_back(text.substr(start, nl == std::string::npos ? std::string::npos : nl - start));
                if (nl == std::string::npos) break;
                start = nl + 1;
            }
        }
        handle(w, c.name, Event::Change);
        return {"= ok", -1};
    }
    return {Error("unknown command: " + std::string(verb)), -1};
}

}  // namespace vk
