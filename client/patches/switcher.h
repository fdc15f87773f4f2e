#pragma once
// The patch switcher: its window (patchsw) with the status window (statwin) and the readme
// viewer (info), Turn ON / Turn OFF over the backup store, and the game start.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "client/core/client_state.h"
#include "client/core/main_form.h"
#include "client/core/sorted_list.h"
#include "client/core/window_def.h"
#include "client/patches/backup_store.h"
#include "client/patches/patch_forms.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/processes.h"
#include "platform/shell.h"

namespace vk {

struct PatchWindows {
    Tpatchsw& patchsw;
    Tstatwin& statwin;
    Tinfo& info;
    MainForm& main;
};

struct PatchPorts {
    Clock& clock;
    Dialogs& dialogs;
    Shell& shell;
    Processes& processes;
    ClientState& state;
    // The game files the client holds open, released while a data-folder archive is replaced.
    std::function<void()> releaseHeld;
    std::function<void()> takeHeld;
};

// Starts a game executable of the game folder; a failure shows "error encountered, DOS exitcode: N".
void StartGame(Shell& shell, Dialogs& dialogs, const std::string& gameFolder, const std::string& exe);

// Texts of the critical-file protection.
bool IsProtectedName(const std::string& name, bool listMode);
bool IsArchiveSpecial(const std::string& name);

class PatchSwitcher {
public:
    PatchSwitcher(PatchWindows windows, PatchPorts ports);

    WindowDef PatchSwWindow();
    WindowDef StatWinWindow();
    WindowDef InfoWindow();

    // Form1.Mfmswitch.
    void fmpatcherClick();

    // ---- patchsw events ----
    void FormActivate();
    void FormClick();
    void FormHide();
    void setdirChange();   // after the front end has set setdir.itemIndex
    void exclusClick();    // after the front end has set exclus.checked
    void showAllClick();   // after the front end has set showAll.checked
    void patchavClick();
    void patchavDblClick();
    void actpatDblClick();
    void allpatDblClick();
    void turnonClick();
    void turnoffClick();
    void viewinfoClick();
    void statinfClick();
    void RefreshClick();
    void runMPPClick();
    void runSPClick();
    void wrdoneClick();

    // ---- the catalogue as the window shows it ----
    void FillActiveGrid(bool showAll);
    void FillAllGrid();
    // Status of a patch folder (OS path): sets the status window's flags, returns V.
    bool Status(const std::string& folderOs);

    // The switch of one patch of the current area; no result, reports through boxes.
    void Switch(const std::string& name, bool on, bool protect, ProgressBar* bar);

    int areaIndex() const;
    std::string areaPath() const;

    bool fmdmMode = true;
    bool firstActivation = true;
    bool generatedList = false;
    bool switchAllowed = true;
    SortedList catalogue;

private:
    void Box(const std::string& text, BoxKind kind = BoxKind::Information);
    std::string selected() const;
    void selectArea(const std::string& folder);
    void selectInCatalogue(const std::string& name);
    void ArchiveSpecial(bool on, const std::string& folderOs, const std::string& name, const std::string& owner);
    void FileOn(const std::string& rel, const std::string& owner, const std::string& sourceOs);
    void FileOff(const std::string& rel, const std::string& owner, const std::string& sourceOs);
    std::string dataRel(const std::string& nameInArea) const;
    void Recover();
    // The store of the game folder the client state names (set once the application knows it).
    BackupStore& store();

    PatchWindows w_;
    PatchPorts p_;
    std::optional<BackupStore> store_;
};

}  // namespace vk
