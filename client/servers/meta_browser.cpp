#include "client/servers/meta_browser.h"

#include <unistd.h>

#include <cstdio>
#include <stdexcept>

#include "client/core/app_box.h"
#include "client/servers/address_text.h"
#include "client/servers/meta_reply.h"
#include "platform/paths.h"

#ifndef VK_META_DEFAULT_SERVER
#define VK_META_DEFAULT_SERVER "meta.volkar.example"
#endif
#ifndef VK_META_FALLBACK_ADDRESS
#define VK_META_FALLBACK_ADDRESS "192.0.2.60"
#endif

namespace vk {

namespace {

std::string RightAligned(int value, size_t width) {
    std::string s = std::to_string(value);
    return s.size() < width ? std::string(width - s.size(), ' ') + s : s;
}

// "host" or "host:port": a meta server that listens elsewhere than on 6001 (a test stub, a
// private directory) is named with its port.
void SplitHostPort(const std::string& text, std::string& host, std::string& port) {
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos && ParsePortText(text.substr(colon + 1)) > 0) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } else {
        host = text;
        port = kMetaPort;
    }
}

}  // namespace

MetaDefaults DeployedMetaDefaults() { return {VK_META_DEFAULT_SERVER, VK_META_FALLBACK_ADDRESS}; }

MetaBrowser::MetaBrowser(Tmetabrws& form, MetaBrowserPorts ports, MetaDefaults defaults)
    : Sockets1(ports.reactor, ports.resolver),
      udpbrws(ports.reactor, ports.dialogs, ports.resolver),
      f_(form),
      p_(ports),
      defaults_(std::move(defaults)) {
    f_.metabrwser.text = defaults_.server;
    Sockets1.Port = kMetaPort;
    Sockets1.NonBlocking = false;
    Sockets1.MaximumReceiveLength = 8192;
    Sockets1.OnSessionConnected = [this](TSockets& s, int socket) {
        f_.srvrs.items.push_back("session connected..." + s.GetPeerIPAddr(socket));
    };
    Sockets1.OnSessionClosed = [this](TSockets&, int) { f_.srvrs.items.push_back("sess closed..."); };
    Sockets1.OnErrorOccurred = [this](TSockets&, int, int, const std::string& msg) { f_.srvrs.items.push_back(msg); };
    Sockets1.OnDataAvailable = [](TSockets&, int) {};
    // Only used to look names up; a failure there shows as the fallback address.
    udpbrws.OnError = [](const std::string&, int) {};
}

std::string MetaBrowser::Path(const std::string& name) const { return ResolvePath(p_.state.gameFolder, name); }

void MetaBrowser::CloseRawFile() { raw_.reset(); }

void MetaBrowser::getemClick() {
    f_.srvrs.items.clear();
    f_.srvrs.itemIndex = -1;
    serverList_.clear();
    const std::string meta = f_.metabrwser.text;
    try {
        Show("Trying meta..." + meta);
        if (PathExists(p_.state.gameFolder, "prev-meta.txt")) ::unlink(Path("prev-meta.txt").c_str());
        if (PathExists(p_.state.gameFolder, "meta.txt"))
            ::rename(Path("meta.txt").c_str(), Path("prev-meta.txt").c_str());
        std::string host, port;
        SplitHostPort(meta, host, port);
        const TudpAddress found = udpbrws.Resolve(host);
        Sockets1.IPAddr = found.IPText.empty() ? defaults_.fallbackAddress : found.IPText;
        Sockets1.Port = port;
        Show("getting meta " + meta);
        DirectoryQuery();
    } catch (...) {
        f_.Caption = "Exception Getting ..." + meta;
    }
    try {
        Show("getting Known servers.....");
        p_.clock.sleep(200);
        for (auto& entry : p_.mplayer.KnownServers()) serverList_.add(std::move(entry));
    } catch (...) {
        f_.Caption = "Exception Getting Known servers...";
    }
    try {
        Show("clearing srvrs.items.....");
        p_.clock.sleep(200);
        f_.srvrs.items.clear();
        Show("adding Known servers.....");
        p_.clock.sleep(200);
        f_.srvrs.items = serverList_.lines();
        Show("Ready.....");
        if (!f_.skipmeta.checked) CloseRawFile();
    } catch (...) {
        f_.Caption = "Exception creating result...";
    }
}

void MetaBrowser::DirectoryQuery() {
    if (f_.skipmeta.checked) return;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> empty{nullptr, &std::fclose};
    try {
        raw_.reset(std::fopen(Path("meta100.txt").c_str(), "wb"));
        empty.reset(std::fopen(Path("no-0meta.txt").c_str(), "wb"));
        if (!raw_ || !empty) throw std::runtime_error("cannot create the reply files");

        Show("about to connect");
        bool dead = true;
        for (int attempt = 0; attempt < 10 && dead; ++attempt) {
            // A failed attempt marks the component; only this attempt's outcome counts.
            Sockets1.ErrorOccurred = false;
            Sockets1.SConnect();
            p_.clock.sleep(500);
            dead = Sockets1.SocketDead();
        }
        if (dead) {
            ShowBox(p_.dialogs, BoxKind::Information, "Meta server did not respond....");
            Show("Meta did not respond...");
            CloseRawFile();
            empty.reset();
            return;
        }

        Show("about to request ");
        Sockets1.SetText(MetaRequest());
        Show("request send...");
        p_.clock.sleep(2000);

        Show("about to receive meta info...");
        int total = 0;
        int got = -1;
        for (int block = 0; block < 100 && got != 0; ++block) {
            char buffer[255];
            got = Sockets1.SReceive(Sockets1.FSocket, buffer, sizeof buffer);
            if (got < 0) throw std::runtime_error("receive failed");
            if (std::fwrite(buffer, 1, static_cast<size_t>(got), raw_.get()) != static_cast<size_t>(got))
                throw std::runtime_error("cannot write the reply file");
            total += got;
            f_.bcount.caption = RightAligned(total, 5);
            Show("receiving ...");
            p_.clock.sleep(200);
        }
        Sockets1.SClose();
        std::fflush(raw_.get());

        std::string reply;
        if (std::FILE* in = std::fopen(Path("meta100.txt").c_str(), "rb")) {
            reply.resize(kMetaBufferSize);
            reply.resize(std::fread(reply.data(), 1, reply.size(), in));
            std::fclose(in);
        }
        const MetaReply parsed = ParseMetaReply(reply);
        for (const auto& entry : parsed.entries) serverList_.add(entry);
        if (parsed.badEntry) Show("Exception getrbserv");
        if (std::fclose(empty.release()) != 0) Show("Exception error closing XF");
    } catch (...) {
        if (Sockets1.FSocket >= 0) Sockets1.SClose();
        f_.Caption = "Exception occurred in getmetas";
    }
}

void MetaBrowser::stopitClick() {
    CloseRawFile();
    f_.visible = false;
}

void MetaBrowser::modMPiniClick() {
    if (f_.srvrs.items.empty()) {
        ShowBox(p_.dialogs, BoxKind::Information, "No servers listed.... You must click \"Refresh\" first....");
        return;
    }
    p_.mplayer.AddServers(f_.srvrs.items);
}

void MetaBrowser::srvrsDblClick() {
    const int i = f_.srvrs.itemIndex;
    std::optional<std::string> entry;
    if (i >= 0 && static_cast<size_t>(i) < serverList_.size()) entry = serverList_[static_cast<size_t>(i)];
    if (onKick) onKick(entry);
}

WindowDef MetaBrowser::Window() {
    WindowDef w("metabrws", f_.Caption, f_.visible, {0, 0, 640, 480});
    w.add("Label1", f_.Label1, {8, 12, 130, 17});
    w.add("metabrwser", f_.metabrwser, {140, 8, 250, 24});
    w.add("skipmeta", f_.skipmeta, {400, 10, 150, 20});
    w.add("getem", f_.getem, {8, 40, 100, 28});
    w.add("stopit", f_.stopit, {116, 40, 100, 28});
    w.add("modMPini", f_.modMPini, {224, 40, 200, 28});
    w.add("metainfo", f_.metainfo, {8, 76, 420, 17});
    w.add("Label2", f_.Label2, {440, 76, 100, 17});
    w.add("bcount", f_.bcount, {548, 76, 80, 17});
    w.add("srvrs", f_.srvrs, {8, 100, 624, 372});
    w.on("getem", Event::Click, [this] { getemClick(); });
    w.on("stopit", Event::Click, [this] { stopitClick(); });
    w.on("modMPini", Event::Click, [this] { modMPiniClick(); });
    w.on("srvrs", Event::DblClick, [this] { srvrsDblClick(); });
    return w;
}

}  // namespace vk
