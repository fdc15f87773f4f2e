#pragma once
// A patch switcher over test ports in a fixture game folder: a virtual clock, scripted boxes,
// a recording shell and a fixed process table ("another program" holding files open).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/patches/switcher.h"
#include "platform/dialogs.h"
#include "tests/core_checks/game_folder.h"

namespace vk::test {

class RecordingShell final : public Shell {
public:
    int ShellExecute(const std::string& verb, const std::string& file, const std::string& params,
                     const std::string& dir) override {
        calls.push_back(verb + " " + file + (params.empty() ? "" : " " + params) + " in " + dir);
        return result;
    }
    std::vector<std::string> calls;
    int result = 42;
};

// The game's own files that patches overwrite.
inline void BaseGame(GameFolder& g) {
    g.file("volkarmmp.exe", "MZ mp game")
        .file("volkar.exe", "MZ sp game")
        .file("data\\vk.vol", "original vk.vol")
        .file("data\\vkshell.vol", "original vkshell.vol")
        .file("data\\lowres.vol", "original lowres.vol")
        .file("data\\multi\\fmparam3.dat", "original fmparam3")
        .file("data\\multi\\action.bmp", "original action.bmp")
        .folder("data\\simpatch")
        .folder("data\\shellpat")
        .folder("data\\3dpatch");
}

struct PatchRig {
    GameFolder g;
    Tpatchsw sw;
    Tstatwin st;
    Tinfo info;
    MainForm main;
    VirtualClock clock;
    ScriptedDialogs dialogs;
    RecordingShell shell;
    FixedProcesses processes;
    ClientState state;
    int released = 0;
    int taken = 0;
    std::unique_ptr<PatchSwitcher> ps;

    explicit PatchRig(bool base = true) {
        // Syncing to the disk guards against power loss only; the interrupted-switch tests
        // that kill a process turn it back on.
        g_patchSyncToDisk = false;
        if (base) BaseGame(g);
        state.gameFolder = g.root();
        ps = std::make_unique<PatchSwitcher>(
            PatchWindows{sw, st, info, main},
            PatchPorts{clock, dialogs, shell, processes, state, [this] { ++released; }, [this] { ++taken; }});
    }
    // Shows the window as the front ends do: visible, then its activation.
    void open() {
        sw.visible = true;
        ps->FormActivate();
    }
    // Chooses the area and mode and selects the patch in the catalogue, as the player would.
    void pick(const std::string& name, int area = 0, bool fmdm = true) {
        if (sw.setdir.itemIndex != area) {
            sw.setdir.itemIndex = area;
            ps->setdirChange();
        }
        if (ps->fmdmMode != fmdm) {
            sw.exclus.checked = fmdm;
            ps->exclusClick();
        }
        ps->FormClick();  // the catalogue as the disk holds it now
        sw.patchav.itemIndex = -1;
        for (size_t i = 0; i < sw.patchav.items.size(); ++i)
            if (sw.patchav.items[i] == name) sw.patchav.itemIndex = static_cast<int>(i);
        ASSERT_GE(sw.patchav.itemIndex, 0) << name << " is not in the catalogue";
        ps->patchavClick();
    }
    void on(const std::string& name, int area = 0, bool fmdm = true) {
        pick(name, area, fmdm);
        ps->turnonClick();
    }
    void off(const std::string& name, int area = 0, bool fmdm = true) {
        pick(name, area, fmdm);
        ps->turnoffClick();
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> t;
        for (const auto& b : dialogs.shown) t.push_back(b.text);
        return t;
    }
    // Column 0 of the active grid's filled rows.
    std::vector<std::string> activeMarkers() const {
        std::vector<std::string> out;
        for (const auto& row : sw.actpat.cells)
            if (!row.empty() && !row[0].empty()) out.push_back(row[0]);
        return out;
    }
};

}  // namespace vk::test
