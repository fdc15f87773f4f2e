#pragma once
// The server lists of the game's mplayer.ini: the meta-server toggle of the main menu, the
// known servers the browser lists, the adding of browsed servers, and the manual editor.
// Every operation reads the file fresh and writes it whole; a file that cannot be read or
// written is reported in a box and left as it was.
#include <stdexcept>
#include <string>
#include <vector>

#include "client/core/client_state.h"
#include "client/core/main_form.h"
#include "client/core/window_def.h"
#include "client/servers/servers_forms.h"
#include "platform/dialogs.h"

namespace vk {

struct MplayerServersForms {
    MainForm& main;
    Tmplayeredit& mplayeredit;
};

struct MplayerServersPorts {
    Dialogs& dialogs;
    ClientState& state;
};

// The two meta-server lines the toggle writes: the first names the server by its dotted
// address, the second by its host name.
struct MetaServerPair {
    std::string byAddress;
    std::string byName;
};
MetaServerPair DeployedMetaServers();

struct IniReadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class MplayerServers {
public:
    MplayerServers(MplayerServersForms forms, MplayerServersPorts ports, MetaServerPair meta = DeployedMetaServers());

    // The check and caption of Meta_toggle from the file (unchanged when it cannot be read).
    void StartupState();
    void Meta_toggleClick();
    // The browser's known-server entries; throws IniReadError when the file cannot be read.
    std::vector<std::string> KnownServers();
    // Offers each browsed server line (not the known ones) for "[KnownServers]".
    void AddServers(const std::vector<std::string>& listLines);
    // The editor: shows it with the file's lines; its button saves them back and hides it.
    void editmplyr();
    void savmplyr();
    WindowDef EditorWindow();

private:
    std::string Path() const;
    bool Load(std::vector<std::string>& lines);
    bool Save(const std::vector<std::string>& lines);
    BoxButton Box(BoxKind kind, const std::string& text, std::vector<BoxButton> buttons = {BoxButton::Ok},
                  BoxButton def = BoxButton::Ok, int x = -1, int y = -1);

    MplayerServersForms f_;
    MplayerServersPorts p_;
    MetaServerPair meta_;
};

}  // namespace vk
