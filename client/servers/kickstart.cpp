#include "client/servers/kickstart.h"

#include <cstdlib>

#include "client/core/app_box.h"
#include "client/servers/address_text.h"
#include "common/text.h"

namespace vk {

namespace {

std::string UpperAscii(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

bool KickTarget(const std::string& entry, std::string& address, std::string& portDigits) {
    const size_t udp = UpperAscii(entry).find("UDP:");
    if (udp == std::string::npos) return false;
    const std::string from = entry.substr(udp, 250);

    const std::string afterLast = from.substr(from.rfind(':') + 1, 200);
    size_t digits = 0;
    while (digits < afterLast.size() && afterLast[digits] >= '0' && afterLast[digits] <= '9') ++digits;
    portDigits = afterLast.substr(0, digits);

    const std::string afterFirst = from.substr(from.find(':') + 1, 200);
    const size_t last = afterFirst.rfind(':');
    address = last == std::string::npos ? std::string() : afterFirst.substr(0, last);
    return true;
}

Kickstart::Kickstart(MainForm& main, KickstartPorts ports) : main_(main), p_(std::move(ports)) {}

void Kickstart::Attach(TudpSocket& udpkick) {
    udpkick.OnReceive = [this](TudpSocket&) { udpkickReceive(); };
    udpkick.OnError = [this](const std::string& msg, int num) { udpkickError(msg, num); };
    udpkick.OnCloseSocket = [this](TudpSocket&) { udpkickCloseSocket(); };
}

void Kickstart::cannotforward() {
    const bool on = main_.cantforward.checked;
    main_.getmetas.enabled = on;
    main_.Caption = std::string("VK 3d Secure Player ") + (on ? " using Kickstart..." : "");
    if (on) {
        Log("=> Switched to Kickstart mode... \r\n=> any WDN-server being kicked \r\n=> will remember this.... \r\n"
            "==> you can NOT return to normal mode \r\n==> for that WDN!! \r\n==> Unless you get locked-out....");
        p_.connection.CancelListenClick();
    } else {
        Log("\r\n=> Switched to Automagic mode... ");
        p_.connection.ListenClick();
    }
    const std::string& ip = main_.IPAddr.text;
    if (ip.rfind("192.168.", 0) != 0 && ip.rfind("10.", 0) != 0 && privateWarningPending) {
        ShowBox(p_.dialogs, BoxKind::Information,
                "FYI: Your IP " + ip + " is not on a private network ..... \r\nUsing Kickstart is not very user friendly ....");
        privateWarningPending = false;
    }
}

void Kickstart::Reopen() {
    // A socket that cannot be opened reports an error, whose handler reopens it: only the
    // outer reopen tries, so a port held by another program is logged, not retried forever.
    if (reopening_) return;
    reopening_ = true;
    p_.udpkick.SetPort(static_cast<uint16_t>(kickPort));
    if (p_.udpkick.IsOpen()) p_.udpkick.Close();
    p_.udpkick.Open();
    reopening_ = false;
}

void Kickstart::Send(const std::string& address, int port, const std::string& text) {
    p_.udpkick.SetLocation(address);
    p_.udpkick.SetSendport(port);
    p_.udpkick.SetPort(static_cast<uint16_t>(kickPort));
    p_.udpkick.SendText(text);
}

void Kickstart::SendKick(const std::optional<std::string>& entry) {
    if (!main_.cantforward.checked) {
        ShowBox(p_.dialogs, BoxKind::Information, "Not in Kickstart mode....");
        return;
    }
    // Elapsed time across the 32-bit wrap; the first attempt of a run is never too soon (a
    // signed difference from 0 would refuse every kick for 24.8 days of uptime).
    const uint32_t now = p_.clock.tickCount();
    if (kicked && now - lastKickTime < 10000) {
        ShowBox(p_.dialogs, BoxKind::Information, "Less than 10 seconds ago.... please try again...");
        return;
    }
    lastKickTime = now;
    kicked = true;
    if (!entry) {
        expectedServer.clear();
        kickServerPort.clear();
    } else {
        std::string address, digits;
        const bool hasUdp = KickTarget(*entry, address, digits);
        // An entry whose address or port does not parse would send the kick to garbage.
        const int gamePort = digits.size() <= 5 ? std::atoi(digits.c_str()) : 0;
        const int udpPort = gamePort - 1000;
        if (!hasUdp || !IsDottedIPv4(address) || udpPort < 1 || udpPort > 65535) {
            ShowBox(p_.dialogs, BoxKind::Information, "Not a valid entry.....");
        } else {
            expectedServer = address;
            kickServerPort = std::to_string(udpPort);
            Reopen();
            Send(expectedServer, udpPort, "idport:" + std::to_string(std::atoi(main_.Port.text.c_str()) - 10000));
            Log("IP+udpWDN: " + expectedServer + ":" + kickServerPort);
        }
    }
    lastKickTime = p_.clock.tickCount();
}

void Kickstart::udpkickReceive() {
    TudpAddress from;
    const std::string text = p_.udpkick.ReceiveText(from);
    const std::string sender = from.IPText;
    const int senderPort = static_cast<int>(from.Port);

    if (Contains(text, "goport:")) {
        if (sender == expectedServer) {
            Log("Kick rcvd, WDN-server: " + sender);
        } else {
            Log("Kick rcvd, WRONG WDN-server: expected: " + (expectedServer.empty() ? std::string("Not expected!") : expectedServer) +
                " but came from: " + sender);
            if (IsPrivateAddress(sender)) expectedServer = sender;
            if (expectedServer.empty()) {
                Log("Not expected to be kicked by WDN");
                return;
            }
        }
        const size_t colon = text.find(':');
        const std::string port = text.substr(colon + 1, 30);
        if (ParsePortText(port) == 0) {
            Log("Kick ignored, not a TCP port: " + port);
            return;
        }
        Log("Contacted by WDN...");
        Log("Connecting w/TCP to WDN... ");
        if (!p_.udpkick.IsOpen()) Reopen();
        // A server that kicked us unasked (a private one) has no kick port: the probe goes to
        // the port it wrote from.
        const int probePort = kickServerPort.empty() ? senderPort : std::atoi(kickServerPort.c_str());
        Send(expectedServer, probePort, "areuwdn:?");
        p_.clock.sleep(3000);
        if (p_.connectOut) p_.connectOut(expectedServer, port);
    } else if (Contains(text, "srvinf:")) {
        Log(text.size() > 7 ? text.substr(7, 200) : std::string());
    }
    if (text.rfind("areuwdn:Yes", 0) == 0) Log("WDN keepalive rcvd...");
    if (text.rfind("areuwdn:hi", 0) == 0) {
        Log("WDN says hi...");
        Send(sender, senderPort, "areuwdn:ok");
    }
}

void Kickstart::udpkickError(const std::string& msg, int num) {
    Log("KickUDP: error:" + msg + " #" + std::to_string(num) + " resetting ...");
    Reopen();
}

void Kickstart::udpkickCloseSocket() {
    Log("UDP kick closed....");
    Reopen();
}

}  // namespace vk
