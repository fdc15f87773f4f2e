#pragma once
// The blocked-servers list: addresses the player blocks (servers pretending to be WDN servers),
// kept sorted in plyrBlockedIPs.txt in the game folder and shown in the blockedIPs window.
#include <string>

#include "client/core/blockedips_form.h"
#include "client/core/client_state.h"
#include "client/core/sorted_list.h"
#include "client/core/window_def.h"

namespace vk {

inline constexpr const char* kBlockedListFile = "plyrBlockedIPs.txt";

class BlockedServers {
public:
    BlockedServers(const ClientState& state, TblockedIPs& form) : state_(state), f_(form) {}

    void FormCreate();  // reads the list, or creates the file empty
    void toggleip();    // servip on the list or off it
    void unblock();     // after the front end has set srvlist.itemIndex
    // At program end: writes the list back, if it was ever read or created.
    void Save();

    WindowDef Window();

    SortedList list;

private:
    void Show();
    void Remove(const std::string& ip);
    std::string Path() const;

    const ClientState& state_;
    TblockedIPs& f_;
    bool loaded_ = false;
};

}  // namespace vk
