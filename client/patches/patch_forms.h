#pragma once
// The patch switcher's windows (the switcher, its status window and the readme viewer) and the
// XP sound fix window, with every control under its component name.
#include <string>

#include "client/core/controls.h"

namespace vk {

inline constexpr const char* kStatusNone = "No patch selected yet, no status available";

struct Tpatchsw {
    std::string Caption = "VK3d Patch Switcher for MMP + SP";
    bool visible = false;

    Label Label2{"Current folder :"};
    ComboBox setdir{{"data\\multi", "data\\simpatch", "data\\shellpat", "data\\3dpatch"}, "data\\multi", 0,
                    "for MMP only"};
    CheckBox exclus{"FM/DM patches, click for other patches", true, true,
                    "if fmparam* , acspecs* , ??damage or wingj*  dat- files are found, it is a FM patch"};
    Label descr{"Flight-Model patches are Exclusive patches, Only one of these patches can be active in the same "
                "folder......."};
    Label step1{"Step 1: select the patch you want by double-clicking it......."};
    ListBox patchav;
    Label stat{kStatusNone};
    Label step2{"Step 2: Activate it by clicking \"Turn ON\" ",
                "(unless it is a vol-file patch, you will then have to stop the game first), check \"Status "
                "information\""};
    Button turnon{"Turn ON"};
    Label step3{"Step 3: to de-Activate, double-click the patch, and click \"Turn OFF\" ",
                "(unless it is a vol-file patch, you will then have to stop the game first), check \"Status "
                "information\""};
    Button turnoff{"Turn OFF"};
    CheckBox cautious{"Do not overwrite critical VK default files", false, true,
                      "Prevents overwrite of ALL vol/ted files / mpstring2.dat wait.pal cursors.pba action.bmp "
                      "etc...."};
    Button viewinfo{"View Readme.txt"};
    Button statinf{"Status information"};
    CheckBox showAll{"ALL active patches, click for Current folder ", true};
    Grid actpat{3, 25};
    Grid allpat{3, 1, "Double click to search the patch..."};
    Button Refresh{"Refresh list"};
    Button runMPP{"(re-) start VolkarMMP"};
    Button runSP{"(re-) start Volkar SP"};
    Button wrdone{"Done....."};
    ProgressBar ProgBar;
    Label StatBar;
    ListBox patchon;

    Tpatchsw() {
        exclus.color = clRed;
        descr.color = clRed;
        showAll.color = clGray;
        patchav.hint = "Double click to browse the folder itself.....";
        ProgBar.visible = false;
        patchon.visible = false;
        actpat.colWidths = {120, 70, 60};
        allpat.colWidths = {120, 70, 60};
    }
};

// The five flags of the selected patch; read-only, so clicking them changes nothing.
struct Tstatwin {
    std::string Caption = "Status Information";
    bool visible = false;
    Label Label1{"Status information:"};
    CheckBox candoit{"Patch can be turned on/off now", false, false};
    CheckBox volsorteds{"there are VOL or TED files in this patch", false, false};
    CheckBox volkarruns{"VolkarMMP is running ", false, false};
    CheckBox patchlistfound{"Filelist found, only these files will be managed", false, false};
    CheckBox batonoff{"Batch file found, will be used.......", false, false};
};

struct Tinfo {
    std::string Caption = "Info on patch";
    bool visible = false;
    Memo view;
};

struct Txpform {
    std::string Caption = "XP VK3d kickstarter";
    std::string hint = "Turns on your sound again before starting VK3d";
    bool visible = false;
    Label Label1{"Turns on your sound again before starting VK3d"};
    Button soundon{"Sound ON"};
    Button startsp{"Start SP"};
    Button startMP{"Start MMP"};
    CheckBox Lockfiles{"Lock Pref files", true};
};

}  // namespace vk
