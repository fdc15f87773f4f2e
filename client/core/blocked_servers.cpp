#include "client/core/blocked_servers.h"

#include "client/core/list_file.h"
#include "common/text.h"
#include "platform/paths.h"

namespace vk {

std::string BlockedServers::Path() const { return ResolvePath(state_.gameFolder, kBlockedListFile); }

void BlockedServers::Show() {
    // Refilling the list box drops its selection: left on its row it would point at the next
    // address, and another "Unblock IP" would unblock a server the player never chose.
    f_.srvlist.items = list.lines();
    f_.srvlist.itemIndex = -1;
}

void BlockedServers::Remove(const std::string& ip) {
    SortedList rest;
    for (const auto& line : list)
        if (CompareLines(line, ip) != 0) rest.add(line);
    list = std::move(rest);
}

void BlockedServers::FormCreate() {
    if (PathExists(state_.gameFolder, kBlockedListFile)) {
        // An existing file that cannot be read is left alone at exit.
        loaded_ = LoadListFile(Path(), list);
    } else {
        loaded_ = SaveListFile(Path(), list);
    }
    Show();
}

void BlockedServers::toggleip() {
    const std::string ip = f_.servip.text;
    if (!list.contains(ip)) list.add(ip);
    else Remove(ip);
    if (SaveListFile(Path(), list)) loaded_ = true;
    Show();
}

void BlockedServers::unblock() {
    const int i = f_.srvlist.itemIndex;
    if (i < 0 || i >= static_cast<int>(f_.srvlist.items.size())) return;
    const std::string ip = f_.srvlist.items[static_cast<size_t>(i)];
    f_.servip.text = ip;
    Remove(ip);
    Show();
}

void BlockedServers::Save() {
    // Only a list that was read (or created empty) is written back: a run that ended before
    // the list was loaded must not overwrite the player's file with an empty one.
    if (loaded_) SaveListFile(Path(), list);
}

WindowDef BlockedServers::Window() {
    WindowDef w("blockedIPs", f_.Caption, f_.visible, {0, 0, 296, 360});
    w.add("Label1", f_.Label1, {8, 8, 280, 16});
    w.add("servip", f_.servip, {8, 26, 280, 23});
    w.add("Label2", f_.Label2, {8, 56, 280, 16});
    w.add("srvlist", f_.srvlist, {8, 74, 280, 240});
    w.add("blockserv", f_.blockserv, {8, 324, 136, 27});
    w.add("Unblockip", f_.Unblockip, {152, 324, 136, 27});
    w.on("", Event::Create, [this] { FormCreate(); });
    w.on("blockserv", Event::Click, [this] { toggleip(); });
    w.on("Unblockip", Event::Click, [this] { unblock(); });
    return w;
}

}  // namespace vk
