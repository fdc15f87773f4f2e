#pragma once
// The main window's side of automatic port mapping: while the client listens (and is not in
// Kickstart mode) the router is asked to forward the listening port and the kick port; the
// server message log says what the router answered. The player turns it on and off with the
// menu item Mportmap; the choice is kept in the game folder.
#include <string>

#include "client/core/client_state.h"
#include "client/core/main_form.h"
#include "client/portmap/port_mapper.h"
#include "platform/reactor.h"

namespace vk {

inline constexpr const char* kClientSettingsFile = "WDNplyr-settings.txt";

// Does nothing: for a client that must not ask any router (tests of the logic).
class NoPortMapper final : public PortMapperPort {
public:
    void map(uint16_t, uint16_t) override {}
    void unmap() override {}
    std::vector<PortMapEvent> take() override { return {}; }
    void stop() override {}
};

class PortMapping {
public:
    PortMapping(const ClientState& state, MainForm& main, Reactor& reactor, PortMapperPort& mapper)
        : state_(state), f_(main), reactor_(reactor), mapper_(mapper) {}
    ~PortMapping();

    void FormCreate();     // the menu item from the settings file (on when there is none)
    void MportmapClick();  // turns it on or off, keeps the choice, acts at once while listening
    void Listening(uint16_t tcpPort, uint16_t udpPort);
    void NotListening();
    void Shutdown();       // removes the mappings before the program ends

    // The router's last answer as the log gave it, and the outside address it told.
    const std::string& routerAnswer() const { return answer_; }
    const std::string& externalAddress() const { return external_; }

private:
    void Poll();
    void Save();

    const ClientState& state_;
    MainForm& f_;
    Reactor& reactor_;
    PortMapperPort& mapper_;
    Reactor::TimerId timer_ = 0;
    bool timing_ = false;
    bool listening_ = false;
    uint16_t tcp_ = 0, udp_ = 0;
    std::string answer_;
    std::string external_;
};

// "PortMapping=on" / "=off" lines of the settings file; on when absent or unreadable.
bool PortMappingSetting(const std::string& gameFolder);

}  // namespace vk
