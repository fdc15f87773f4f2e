#include "client/servers/mplayer_servers.h"

#include "client/core/app_box.h"
#include "client/servers/mplayer_ini.h"
#include "common/text.h"
#include "platform/paths.h"

#ifndef VK_MPLAYER_META_ADDRESS
#define VK_MPLAYER_META_ADDRESS "192.0.2.61"
#endif
#ifndef VK_MPLAYER_META_HOST
#define VK_MPLAYER_META_HOST "meta2.volkar.example"
#endif

namespace vk {

MetaServerPair DeployedMetaServers() { return {VK_MPLAYER_META_ADDRESS, VK_MPLAYER_META_HOST}; }

MplayerServers::MplayerServers(MplayerServersForms forms, MplayerServersPorts ports, MetaServerPair meta)
    : f_(forms), p_(ports), meta_(std::move(meta)) {}

std::string MplayerServers::Path() const { return ResolvePath(p_.state.gameFolder, kMplayerIni); }

BoxButton MplayerServers::Box(BoxKind kind, const std::string& text, std::vector<BoxButton> buttons, BoxButton def,
                              int x, int y) {
    return ShowBox(p_.dialogs, kind, text, std::move(buttons), def, x, y);
}

bool MplayerServers::Load(std::vector<std::string>& lines) {
    std::string error;
    if (LoadIniLines(Path(), lines, error)) return true;
    Box(BoxKind::Warning, "Cannot read mplayer.ini (" + error + "), nothing changed....");
    return false;
}

bool MplayerServers::Save(const std::vector<std::string>& lines) {
    std::string error;
    if (SaveIniLines(Path(), lines, error)) return true;
    Box(BoxKind::Warning, "Cannot write mplayer.ini (" + error + "), nothing changed....");
    return false;
}

void MplayerServers::StartupState() {
    std::vector<std::string> lines;
    std::string error;
    if (!LoadIniLines(Path(), lines, error)) return;  // Listen reports a missing file itself
    const bool meta = UsingMetaServers(lines);
    f_.main.Meta_toggle.checked = meta;
    f_.main.Meta_toggle.caption = meta ? "Using KAL meta servers" : "Using [Known Servers] of mplayer.ini";
}

void MplayerServers::Meta_toggleClick() {
    std::vector<std::string> lines;
    if (!Load(lines)) return;
    const int header = FindMetaHeader(lines);
    if (header < 0) {
        Box(BoxKind::Information, "[MetaServers] section not found, plz correct..", {BoxButton::Ok}, BoxButton::Ok, 100,
            100);
        return;
    }
    const bool meta = !f_.main.Meta_toggle.checked;
    SetMetaServerLines(lines, header, meta, MetaServerLine(meta_.byAddress), MetaServerLine(meta_.byName));
    // The check mirrors the file: it changes only when the file did.
    if (!Save(lines)) return;
    f_.main.Meta_toggle.checked = meta;
    if (meta) {
        f_.main.Meta_toggle.caption = "Using KAL meta servers";
        Box(BoxKind::Information, "Using Meta servers now....", {BoxButton::Ok}, BoxButton::Ok, 100, 100);
    } else {
        Box(BoxKind::Information, "Using Mplayer.ini [Known Servers] now....", {BoxButton::Ok}, BoxButton::Ok, 100, 100);
        f_.main.Meta_toggle.caption = "Using [Known Servers] of mplayer.ini";
    }
}

std::vector<std::string> MplayerServers::KnownServers() {
    std::vector<std::string> lines;
    std::string error;
    if (!LoadIniLines(Path(), lines, error)) throw IniReadError(error);
    return KnownServerEntries(lines);
}

void MplayerServers::AddServers(const std::vector<std::string>& listLines) {
    std::vector<std::string> lines;
    if (!Load(lines)) return;
    const int header = FindKnownHeader(lines);
    if (header < 0) {
        Box(BoxKind::Information,
            "cannot find \"[KnownServers]\" line in your mplayer.ini\r\nplease correct and try again");
        return;
    }
    int count = 0;
    for (const auto& item : listLines) {
        if (Contains(LowerAscii(item), "known server")) continue;
        std::string address, name;
        // Error lines of the socket and entries without a game server address are not servers.
        if (!SplitServerLine(item, address, name) || !IsUdpAddressPart(address)) continue;
        bool known = false;
        for (const auto& line : lines)
            if (line.rfind("server=" + address, 0) == 0) known = true;
        const std::string host = address.substr(5);
        if (known || host.rfind("192.168.", 0) == 0 || host.rfind("10.", 0) == 0) continue;
        if (Box(BoxKind::Confirmation, "Add this server ? \r\nserver=" + address + " ; " + name,
                {BoxButton::No, BoxButton::Ok}, BoxButton::Ok) == BoxButton::No)
            continue;
        const auto at = lines.begin() + header + 1;
        const auto inserted = lines.insert(at, "server=" + address + " ; " + name);
        lines.insert(inserted, "// " + name);
        ++count;
    }
    if (Box(BoxKind::Confirmation, "Add the selected " + std::to_string(count) + " new servers to mplayer.ini ?",
            {BoxButton::No, BoxButton::Ok}, BoxButton::Ok) == BoxButton::No)
        return;
    Save(lines);
}

void MplayerServers::editmplyr() {
    f_.mplayeredit.visible = true;
    std::vector<std::string> lines;
    f_.mplayeredit.Memo1.Clear();
    if (!Load(lines)) return;
    f_.mplayeredit.Memo1.lines = std::move(lines);
}

void MplayerServers::savmplyr() {
    // A file that could not be written stays open in the editor, so nothing typed is lost.
    if (!Save(f_.mplayeredit.Memo1.lines)) return;
    f_.mplayeredit.visible = false;
}

WindowDef MplayerServers::EditorWindow() {
    auto& m = f_.mplayeredit;
    WindowDef w("mplayeredit", m.Caption, m.visible, {0, 0, 560, 460});
    w.add("Label1", m.Label1, {8, 8, 200, 17});
    w.add("Memo1", m.Memo1, {8, 30, 544, 380});
    w.add("savmplyr", m.savmplyr, {8, 420, 140, 28});
    w.on("savmplyr", Event::Click, [this] { savmplyr(); });
    return w;
}

}  // namespace vk
