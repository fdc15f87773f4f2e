#include "client/portmap/port_mapping.h"

#include <cstdio>
#include <fstream>

#include "common/text.h"
#include "platform/paths.h"

namespace vk {

bool PortMappingSetting(const std::string& gameFolder) {
    std::ifstream in(ResolvePath(gameFolder, kClientSettingsFile), std::ios::binary);
    std::string line;
    bool on = true;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (StartsWithNoCase(line, "PortMapping=")) on = !EqualsNoCase(line.substr(12), "off");
    }
    return on;
}

PortMapping::~PortMapping() {
    if (timing_) reactor_.stopTimer(timer_);
}

void PortMapping::FormCreate() { f_.Mportmap.checked = PortMappingSetting(state_.gameFolder); }

void PortMapping::Save() {
    // Written whole beside the old one and renamed over it, so a failed write keeps the choice.
    const std::string path = ResolvePath(state_.gameFolder, kClientSettingsFile);
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << "PortMapping=" << (f_.Mportmap.checked ? "on" : "off") << "\r\n";
        if (!out.flush()) {
            std::remove(temp.c_str());
            return;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) std::remove(temp.c_str());
}

void PortMapping::MportmapClick() {
    f_.Mportmap.checked = !f_.Mportmap.checked;
    Save();
    if (!listening_) return;
    if (f_.Mportmap.checked) {
        Listening(tcp_, udp_);
    } else {
        mapper_.unmap();
    }
}

void PortMapping::Listening(uint16_t tcpPort, uint16_t udpPort) {
    listening_ = true;
    tcp_ = tcpPort;
    udp_ = udpPort;
    if (!f_.Mportmap.checked) return;
    if (!timing_) {
        timer_ = reactor_.startTimer(200, [this] { Poll(); });
        timing_ = true;
    }
    mapper_.map(tcpPort, udpPort);
}

void PortMapping::NotListening() {
    listening_ = false;
    mapper_.unmap();
    external_.clear();
}

void PortMapping::Shutdown() {
    listening_ = false;
    mapper_.stop();
    Poll();
}

void PortMapping::Poll() {
    for (const PortMapEvent& e : mapper_.take()) {
        const std::string ports = std::to_string(e.tcpPort) + "/TCP and " + std::to_string(e.udpPort) + "/UDP";
        switch (e.kind) {
        case PortMapEvent::Mapped:
            external_ = e.externalAddress;
            answer_ = "Router opened port " + ports + " for you (" + e.method + ")" +
                      (external_.empty() ? "" : ": Internet address " + external_ + ":" + std::to_string(e.tcpPort));
            if (!external_.empty()) f_.URIP.caption = "Your Internet IP : " + external_ + ":" + std::to_string(e.tcpPort);
            break;
        case PortMapEvent::Refused:
            external_.clear();
            answer_ = "Router refused to open port " + ports + " (" + e.method + "): " + e.error;
            break;
        case PortMapEvent::NoRouter:
            external_.clear();
            answer_ = "No router that opens ports was found (UPnP IGD, NAT-PMP): forward port " +
                      std::to_string(e.tcpPort) + " yourself or use Kickstart";
            break;
        case PortMapEvent::Removed:
            answer_ = "Router closed port " + ports + " again (" + e.method + ")";
            break;
        }
        f_.Memo1.Add("==> " + answer_);
    }
}

}  // namespace vk
