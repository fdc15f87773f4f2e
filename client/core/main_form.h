#pragma once
// What the main window (TForm1) shows. Defaults are those of the window definition.
#include <string>

#include "client/core/controls.h"

namespace vk {

struct MainForm {
    std::string Caption = "Volkar3d Secure Player";
    bool visible = false;

    Memo Memo1{"Server messages"};
    Label cfgstatus{"------"};
    Label Label1{"Port:"};
    Edit Port{"5000", false};
    Label Label2{"Local IP:"};
    Edit IPAddr{"", false, "IP of your PC as seen by Secplayer"};
    Label URIP{"Your Internet IP:Port"};
    Panel instldfm{"Not determined yet"};
    CheckBox cantforward{"I can not forward a port", false, false};
    Button getmetas{"Kickstart a VK server", false};
    Button getservinf{"Show Server info"};
    Button Button4{"Clear"};
    ComboBox priolist{{"High priority", "Realtime priority", "Normal priority", "Idle priority"},
                      "High priority", 0, "Boost the priority during checking"};
    RadioButton prboost{"Boosting", false, true, "Goes on and off when Priority changes..."};
    CheckBox bgcheck{"Bgnd check", true};
    RadioGroup pgroup{"Bg chk priority"};
    RadioButton pnormal{"Normal"};
    RadioButton plower{"lower"};
    RadioButton plowest{"lowest"};
    RadioButton pidle{"Idle", true};
    Edit mtiks{"mtiks"};

    Menu File1{"&File"};
    MenuItem Mfmswitch{"FM switcher", false, "", "Ctrl+F"};
    MenuItem Mxpsound{"XP sound fix", false};
    MenuItem Meta_toggle{"Use KAL Meta servers", true, "", "", true};
    MenuItem Manualeditmplayerini1{"Manual edit mplayer.ini"};
    MenuItem Mupdmplyr{"Update Mplayer.ini", false};
    MenuItem Mselftest{"Self Test", false, "Self Test connectivity"};
    MenuItem Mblockedservers{"Block fake WDN servers", true,
                             "Block IP's that e.g. are pretending to be WDN servers"};
    MenuItem Maboutme{"Status / Version of WDN player", true, "", "Ctrl+S"};
    MenuItem N1{"-"};
    MenuItem Mquit{"&Quit", true, "", "Ctrl+Q"};
    Menu Connection1{"&Connection"};
    MenuItem Mlisten{"Listen", true, "Accept WDN connections", "Ctrl+L"};
    MenuItem Mclose{"Close", true, "Stop listening"};
    MenuItem MCancellisten{"Cancel listen", true, "Do not accept more new connections"};
    MenuItem Mportmap{"Let the router open the port", true,
                      "Ask your router (UPnP / NAT-PMP) to forward the listening port to this PC", "", true};
    Menu WDNVKConfiginfo1{"&WDN - VK Config info"};
    MenuItem Mshowconfig{"Show config files", true, "Shows files the WDN server found"};
    MenuItem Mshowerrors{"Show Errors", true, "Shows files in Error, Missing or NOT Expected"};
    MenuItem MServerinfo{"WDN Server info", true, "", "Ctrl+I"};
    // An item on the menu bar itself, which acts when clicked.
    MenuItem mabout{"&About WDN player"};
};

// The status line: green for good news, red for warnings; while the self-test runs it always
// reads "Self testing...".
inline void SetStatus(MainForm& f, bool selfTestRunning, Color color, const std::string& text) {
    f.cfgstatus.color = color;
    f.cfgstatus.caption = selfTestRunning ? "Self testing..." : text;
}
inline void StatusGreen(MainForm& f, bool selfTestRunning, const std::string& text) {
    SetStatus(f, selfTestRunning, clGreen, text);
}
inline void StatusRed(MainForm& f, bool selfTestRunning, const std::string& text) {
    SetStatus(f, selfTestRunning, clRed, text);
}

}  // namespace vk
