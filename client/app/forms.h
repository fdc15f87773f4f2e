#pragma once
// The ids of all windows of the client, and the two small windows that belong to the main
// window itself: the About box and the hidden list.
#include <string>

#include "client/core/controls.h"
#include "client/core/window_def.h"
#include "client/patches/patch_forms.h"
#include "client/servers/servers_forms.h"

namespace vk {

// The windows in the order they are created at start.
enum class FormId {
    Main,
    About,
    RelConfig,
    LastError,
    MetaBrowser,
    ServerInfo,
    BlockedIPs,
    Hidden,
    GetUrl,
    SelfTest,
    PatchSwitcher,
    PatchInfo,
    XpForm,
    StatusInfo,
    MplayerEdit,
    Count,
};

struct TAboutBox {
    std::string Caption = "About";
    bool visible = false;
    Label ProductName{"VK3D Secure Player"};
    Label Version{"Version:  2.2.0.x"};
    Label FileVersion;   // "File Version: " + the own executable's version
    Label InstalledIn;   // "Installed in: " + the game folder
    Label VolkarFound;   // "VolkarMMP.exe found: " + Yes / NO!!
    Label VolkarVersion; // "VolkarMMP.exe version: " + its version
    Button OKButton{"OK"};
};

// Created at start and never shown.
struct TForm6 {
    std::string Caption = "Hidden list.....";
    bool visible = false;
    Memo hidlist;
};
WindowDef HiddenWindow(TForm6& f);

}  // namespace vk
