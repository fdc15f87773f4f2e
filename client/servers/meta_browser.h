#pragma once
// The meta-server browser: asks a meta server for its directory of game servers, adds the
// known servers of mplayer.ini and lists them sorted. A double-click kickstarts the selected
// server; a button adds the listed servers to mplayer.ini.
//
// The refresh runs on the main thread with blocking socket calls and fixed pauses through
// the Clock, as the window has always done: the window does not respond meanwhile.
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "client/core/client_state.h"
#include "client/core/sorted_list.h"
#include "client/core/window_def.h"
#include "client/net/resolver.h"
#include "client/net/sockets.h"
#include "client/net/udp_socket.h"
#include "client/servers/mplayer_servers.h"
#include "client/servers/servers_forms.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/reactor.h"

namespace vk {

struct MetaBrowserPorts {
    Clock& clock;
    Dialogs& dialogs;
    Reactor& reactor;
    NameResolver& resolver;
    ClientState& state;
    MplayerServers& mplayer;
};

// The deployment's meta servers: the one the browser asks by default, and the address it
// asks when that name does not resolve.
struct MetaDefaults {
    std::string server;
    std::string fallbackAddress;
};
MetaDefaults DeployedMetaDefaults();

inline constexpr const char* kMetaPort = "6001";

class MetaBrowser {
public:
    MetaBrowser(Tmetabrws& form, MetaBrowserPorts ports, MetaDefaults defaults = DeployedMetaDefaults());

    void getemClick();    // Refresh
    void stopitClick();   // Exit
    void modMPiniClick();
    void srvrsDblClick();
    WindowDef Window();

    // The kick of the selected entry (nullopt when no entry is selected); set by the owner.
    std::function<void(const std::optional<std::string>& entry)> onKick;

    // The server list of the last refresh, as srvrs shows it.
    const SortedList& serverList() const { return serverList_; }

    TSockets Sockets1;
    TudpSocket udpbrws;

private:
    void Show(const std::string& text) { f_.metainfo.caption = text; }
    void DirectoryQuery();
    void CloseRawFile();
    std::string Path(const std::string& name) const;

    Tmetabrws& f_;
    MetaBrowserPorts p_;
    MetaDefaults defaults_;
    SortedList serverList_;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> raw_{nullptr, &std::fclose};
};

}  // namespace vk
