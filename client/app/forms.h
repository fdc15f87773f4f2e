#pragma once
// The windows of the client that no subsystem owns yet, and the ids of all windows. Windows whose
// behaviour comes later exist with their captions only, so that every window is created at
// start, in the fixed order, and the front ends can build them.
#include <string>

#include "client/core/controls.h"
#include "client/core/window_def.h"
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

// A window whose behaviour comes later: its caption and nothing else.
WindowDef PlainWindow(const char* name, std::string& caption, bool& visible);

struct Tpatchsw {
    std::string Caption = "VK3d Patch Switcher for MMP + SP";
    bool visible = false;
};

struct Tinfo {
    std::string Caption = "Info on patch";
    bool visible = false;
};

struct Txpform {
    std::string Caption = "XP VK3d kickstarter";
    std::string hint = "Turns on your sound again before starting VK3d";
    bool visible = false;
};

struct Tstatwin {
    std::string Caption = "Status Information";
    bool visible = false;
};

}  // namespace vk
