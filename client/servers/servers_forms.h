#pragma once
// The windows of the meta-server browser and the manual mplayer.ini editor.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct Tmetabrws {
    std::string Caption = "Meta Browser";
    bool visible = false;
    Label Label1{"Meta server to ask:"};
    Edit metabrwser;  // the deployment's default meta server, set by the browser
    CheckBox skipmeta{"Skip Meta search"};
    Button getem{"Refresh"};
    Button stopit{"Exit"};
    Button modMPini{"add new ones to Mplayer.ini"};
    Label metainfo{"Meta server :"};
    Label Label2{"Bytes received"};
    Label bcount{"     0"};
    ListBox srvrs;
    Tmetabrws() { srvrs.hint = "Double click to Kickstart this server and check status window...."; }
};

struct Tmplayeredit {
    std::string Caption = "Mplayer edit (manual)";
    bool visible = false;
    Label Label1{"Edit mplayer.ini "};
    Memo Memo1{"", false};
    Button savmplyr{"Save Mplayer.ini"};
};

}  // namespace vk
