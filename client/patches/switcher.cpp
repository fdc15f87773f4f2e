#include "client/patches/switcher.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "client/core/app_box.h"
#include "client/patches/catalogue.h"
#include "common/text.h"
#include "platform/paths.h"

namespace vk {

namespace {

constexpr const char* kListModeProtected =
    " vkmulti.vol vkmmulti.vol 3dpatch.vol 3dspring.vol 3dwinter.vol 3dfall.vol 3dspring.vol lowres.vol vk.vol "
    "vkshell.vol mpstring2.dat wait.pal cursors.pba action.bmp volkar0.ted volkar1.ted volkar2.ted volkar3.ted "
    "volkar4.ted ";
constexpr const char* kListingModeProtected =
    "vkmulti.vol vkmmulti.vol 3dpatch.vol 3dspring.vol 3dwinter.vol 3dfall.vol vk.vol vkshell.vol mpstring2.dat "
    "wait.pal cursors.pba";
constexpr const char* kArchiveSpecial =
    " lowres.vol vk.vol vkshell.vol volkar0.ted volkar1.ted volkar2.ted volkar3.ted volkar4.ted ";
constexpr Color kHighlight = 0x000080;  // navy, the system's highlight
constexpr const char* kRecordPath = "# patch activated from path:";
constexpr const char* kRecordTime = "# at time:";

std::vector<std::string> ReadLines(const std::string& os, bool& ok) {
    std::vector<std::string> lines;
    std::ifstream in(os, std::ios::binary);
    ok = static_cast<bool>(in);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// A text file written through a temporary name, so a marker or list is never half there.
bool WriteLinesFile(const std::string& os, const std::vector<std::string>& lines, bool append = false) {
    std::string text;
    if (append) {
        std::ifstream in(os, std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    for (const auto& l : lines) text += l + "\r\n";
    const std::string tmp = os + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ok && (!g_patchSyncToDisk || ::fsync(fd) == 0);
    ::close(fd);
    ok = ok && ::rename(tmp.c_str(), os.c_str()) == 0;
    if (!ok) ::unlink(tmp.c_str());
    return ok;
}

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

bool IsProtectedName(const std::string& name, bool listMode) {
    return Contains(listMode ? kListModeProtected : kListingModeProtected, LowerAscii(name));
}

bool IsArchiveSpecial(const std::string& name) { return Contains(kArchiveSpecial, " " + LowerAscii(name) + " "); }

void StartGame(Shell& shell, Dialogs& dialogs, const std::string& gameFolder, const std::string& exe) {
    const int r = shell.ShellExecute("open", ResolvePath(gameFolder, exe), "", gameFolder);
    if (r <= 32) ShowBox(dialogs, BoxKind::Information, "error encountered, DOS exitcode: " + std::to_string(r));
}

PatchSwitcher::PatchSwitcher(PatchWindows windows, PatchPorts ports)
    : w_(windows), p_(std::move(ports)) {
    w_.main.Mfmswitch.hint = "Switch FM's with a click";
}

BackupStore& PatchSwitcher::store() {
    const std::string data = DataPath(p_.state.gameFolder);
    if (!store_ || store_->folder() != data + ".vkbackup/") store_.emplace(data);
    return *store_;
}

void PatchSwitcher::Box(const std::string& text, BoxKind kind) { ShowBox(p_.dialogs, kind, text); }

int PatchSwitcher::areaIndex() const {
    const int i = w_.patchsw.setdir.itemIndex;
    return i >= 0 && i < kAreaCount ? i : 0;
}

std::string PatchSwitcher::areaPath() const { return AreaPath(p_.state.gameFolder, areaIndex()); }

std::string PatchSwitcher::selected() const {
    const auto& lb = w_.patchsw.patchav;
    if (lb.itemIndex < 0 || lb.itemIndex >= static_cast<int>(lb.items.size())) return {};
    return lb.items[static_cast<size_t>(lb.itemIndex)];
}

// ---- catalogue in the window ---------------------------------------------------------------

void PatchSwitcher::FillActiveGrid(bool showAll) {
    auto& g = w_.patchsw.actpat;
    g.cells.clear();
    const std::string game = p_.state.gameFolder;
    std::vector<std::string> names;
    std::vector<int> areaOf;
    auto gather = [&](int a) {
        const std::string area = AreaPath(game, a);
        GatherNames(area, "*.act", names);
        GatherNames(area, "*.abp", names);
        areaOf.resize(names.size(), a);
    };
    const int current = areaIndex();
    gather(current);
    g.rowCount = std::max<int>(25, static_cast<int>(names.size()));
    if (showAll)
        for (int a = 0; a < kAreaCount; ++a)
            if (a != current) gather(a);
    // Rows beyond the row count stay hidden, as the grid does not grow for the other areas.
    for (size_t i = 0; i < names.size() && static_cast<int>(i) < g.rowCount; ++i) {
        const int r = static_cast<int>(i);
        const std::string& marker = names[i];
        const std::string patch = marker.size() > 4 ? marker.substr(0, marker.size() - 4) : std::string();
        g.cell(0, r) = marker;
        g.cell(1, r) = IsFmDmPatch(ResolvePath(AreaPath(game, areaOf[i]), patch)) ? "FM/DM" : "non -FM/DM";
        g.cell(2, r) = kPatchAreas[areaOf[i]].folder;
    }
    if (g.row >= g.rowCount) g.row = -1;
    w_.patchsw.patchon.items = names;
}

void PatchSwitcher::FillAllGrid() {
    auto& g = w_.patchsw.allpat;
    g.cells.clear();
    g.row = -1;
    int r = 0;
    for (int a = 0; a < kAreaCount; ++a) {
        const std::string area = AreaPath(p_.state.gameFolder, a);
        for (const auto& name : PatchFolders(area)) {
            g.cell(0, r) = name;
            g.cell(1, r) = IsFmDmPatch(area + name) ? "FM/DM" : "Non - FM/DM";
            g.cell(2, r) = kPatchAreas[a].folder;
            ++r;
        }
    }
    g.rowCount = std::max(1, r);
}

bool PatchSwitcher::Status(const std::string& folderOs) {
    const bool v = HasVolOrTed(folderOs);
    const bool running = VolkarRunning(p_.state.gameFolder, p_.processes);
    w_.statwin.volsorteds.checked = v;
    w_.statwin.volkarruns.checked = running;
    w_.statwin.candoit.checked = v ? !running : true;
    return v;
}

// ---- window events -------------------------------------------------------------------------

void PatchSwitcher::fmpatcherClick() { w_.patchsw.visible = true; }

void PatchSwitcher::Recover() {
    if (!store().pending()) return;
    if (p_.releaseHeld) p_.releaseHeld();
    const auto j = store().pending();
    const bool done = store().recover();
    if (p_.takeHeld) p_.takeHeld();
    if (!done) {
        Box("The last patch switch (" + j->owner + ") was interrupted, and the patch backup store " + store().folder() +
                "manifest cannot be read; nothing was changed.",
            BoxKind::Error);
        return;
    }
    if (j->on)
        Box("The last patch switch (" + j->owner + ") was interrupted; its files were put back as they were before it.");
    else
        Box("The last patch switch (" + j->owner + ") was interrupted; it has been turned off.");
}

void PatchSwitcher::FormActivate() {
    auto& f = w_.patchsw;
    Recover();
    if (firstActivation) {
        if (!PathExists(p_.state.gameFolder, "data\\multi"))
            Box("Attention! no data\\multi.... not in Orvane VK3d folder ?? ");
        f.setdir.itemIndex = 0;
        f.setdir.text = f.setdir.items[0];
        f.exclus.checked = true;
        fmdmMode = true;
        f.actpat.colWidths = {120, 70, 60};
        f.allpat.colWidths = {120, 70, 60};
        FillAllGrid();
        firstActivation = false;
    }
    w_.main.visible = false;
    catalogue = BuildCatalogue(areaPath(), fmdmMode);
    f.patchav.items = catalogue.lines();
    f.patchav.itemIndex = -1;
    f.Caption = "VK3d Patch Switcher for MMP + SP " + areaPath();
    FillActiveGrid(f.showAll.checked);
    if (fmdmMode) {
        f.descr.caption = "Flight-Model patches are Exclusive patches, Only one of these patches can be active in "
                          "the same folder.......";
        f.exclus.caption = "FM/DM patches, click for non - FM/DM patches";
    } else {
        f.descr.caption = "patches without FM/DM can be mixed ..... but, they *may* have (conflicting) files in "
                          "common! ....";
        f.exclus.caption = "Other patches, click to switch to FM/DM patches";
    }
}

void PatchSwitcher::FormClick() {
    FillActiveGrid(w_.patchsw.showAll.checked);
    FormActivate();
    w_.patchsw.patchav.items = catalogue.lines();
    w_.patchsw.Caption = "VK3d Patch Switcher for MMP + SP " + areaPath();
}

void PatchSwitcher::FormHide() { w_.main.visible = true; }

void PatchSwitcher::setdirChange() {
    auto& f = w_.patchsw;
    const int i = areaIndex();
    f.setdir.itemIndex = i;
    f.setdir.text = f.setdir.items[static_cast<size_t>(i)];
    f.setdir.hint = kPatchAreas[i].hint;
    f.stat.caption = std::string(kStatusNone) + " ";
    showAllClick();
    FormActivate();
}

void PatchSwitcher::exclusClick() {
    auto& f = w_.patchsw;
    fmdmMode = f.exclus.checked;
    // White text (the highlight text of the other mode) sits on the highlight colour, so that
    // it stays readable on a light window.
    f.exclus.color = fmdmMode ? clRed : clWhite;
    f.exclus.background = fmdmMode ? clDefault : kHighlight;
    f.descr.color = fmdmMode ? clRed : clWhite;
    f.descr.background = fmdmMode ? clDefault : kHighlight;
    FormActivate();
}

void PatchSwitcher::showAllClick() {
    auto& f = w_.patchsw;
    const std::string area = Upper(kPatchAreas[areaIndex()].folder);
    if (f.showAll.checked) {
        f.showAll.caption = "Active patches in ALL folders, click for " + area;
        f.showAll.color = clGray;
    } else {
        f.showAll.caption = "Active patches in " + area + ", click to show All ";
        f.showAll.color = clOlive;
    }
    f.actpat.hint = f.showAll.caption;
    FormActivate();
}

void PatchSwitcher::patchavClick() {
    auto& f = w_.patchsw;
    const std::string name = selected();
    if (name.empty()) return;
    const std::string folder = ResolvePath(areaPath(), name);
    f.viewinfo.caption = PathExists(folder + "/", "readme.txt") ? "View " + name + " info" : "No info for " + name;
    Status(folder);
    const bool can = w_.statwin.candoit.checked;
    f.turnon.enabled = can;
    f.turnoff.enabled = can;
    const std::string text = can ? "Patch " + name + " can be enabled now"
                                 : "Patch " + name + " can NOT be enabled now, close Volkar first!! ";
    f.patchav.hint = text;
    f.turnon.hint = text;
    f.stat.caption = text;
    f.stat.background = can ? clOlive : clRed;
    w_.statwin.batonoff.checked = PathExists(folder + "/", "patchon.bat");
    w_.statwin.patchlistfound.checked = PathExists(folder + "/", "patchfilelist.txt");
}

void PatchSwitcher::patchavDblClick() {
    const std::string name = selected();
    if (name.empty()) return;
    p_.shell.ShellExecute("explore", ResolvePath(areaPath(), name), "", "");
}

void PatchSwitcher::selectArea(const std::string& folder) {
    auto& f = w_.patchsw;
    for (int a = 0; a < kAreaCount; ++a) {
        if (EqualsNoCase(kPatchAreas[a].folder, folder)) {
            f.setdir.itemIndex = a;
            f.setdir.text = f.setdir.items[static_cast<size_t>(a)];
            return;
        }
    }
}

void PatchSwitcher::selectInCatalogue(const std::string& name) {
    auto& lb = w_.patchsw.patchav;
    lb.itemIndex = -1;
    for (size_t i = 0; i < lb.items.size(); ++i)
        if (EqualsNoCase(lb.items[i], name)) lb.itemIndex = static_cast<int>(i);
}

void PatchSwitcher::actpatDblClick() {
    auto& f = w_.patchsw;
    const int r = f.actpat.row;
    if (r < 0 || r >= static_cast<int>(f.actpat.cells.size())) return;
    const std::string marker = f.actpat.cell(0, r);
    if (marker.empty()) return;
    const std::string area = f.actpat.cell(2, r);
    const size_t dot = marker.rfind(".a");
    const std::string name = marker.substr(0, dot);
    selectArea(area);
    f.exclus.checked = IsFmDmPatch(ResolvePath(p_.state.gameFolder, "data\\" + area + "\\" + name));
    exclusClick();
    for (size_t i = 0; i < f.actpat.cells.size(); ++i)
        if (!f.actpat.cells[i].empty() && f.actpat.cells[i][0] == marker) {
            f.actpat.row = static_cast<int>(i);
            break;
        }
    FormClick();
    selectInCatalogue(name);
}

void PatchSwitcher::allpatDblClick() {
    auto& f = w_.patchsw;
    const int r = f.allpat.row;
    if (r < 0 || r >= static_cast<int>(f.allpat.cells.size())) return;
    const std::string name = f.allpat.cell(0, r);
    if (name.empty()) return;
    const std::string area = f.allpat.cell(2, r);
    selectArea(area);
    f.exclus.checked = IsFmDmPatch(ResolvePath(p_.state.gameFolder, "data\\" + area + "\\" + name));
    exclusClick();
    FormClick();
    if (!catalogue.contains(name)) {
        Box("Error finding " + name, BoxKind::Warning);
        return;
    }
    if (Contains(LowerAscii(f.setdir.items[static_cast<size_t>(areaIndex())]), LowerAscii(area)))
        selectInCatalogue(name);
    else
        f.patchav.itemIndex = -1;
    patchavClick();
}

void PatchSwitcher::viewinfoClick() {
    const std::string name = selected();
    if (name.empty()) return;
    const std::string folder = ResolvePath(areaPath(), name) + "/";
    if (!PathExists(folder, "readme.txt")) return;
    bool ok = false;
    w_.info.view.lines = ReadLines(ResolvePath(folder, "readme.txt"), ok);
    w_.info.visible = true;
}

void PatchSwitcher::statinfClick() { w_.statwin.visible = true; }
void PatchSwitcher::RefreshClick() { FillAllGrid(); }
void PatchSwitcher::runMPPClick() { StartGame(p_.shell, p_.dialogs, p_.state.gameFolder, "volkarmmp.exe"); }
void PatchSwitcher::runSPClick() { StartGame(p_.shell, p_.dialogs, p_.state.gameFolder, "volkar.exe"); }
void PatchSwitcher::wrdoneClick() { w_.patchsw.visible = false; }

// ---- Turn ON / Turn OFF --------------------------------------------------------------------

void PatchSwitcher::turnonClick() {
    auto& f = w_.patchsw;
    const std::string name = selected();
    if (name.empty()) {
        Box("Select a Patch folder first!!");
        FillActiveGrid(f.showAll.checked);
        return;
    }
    const std::string folder = ResolvePath(areaPath(), name) + "/";
    Status(folder);
    generatedList = false;
    if (!PathExists(folder, "patchfilelist.txt")) {
        generatedList = true;
        std::vector<std::string> found;
        GatherNames(folder, "*", found);
        SortedList list;
        for (auto& n : found) list.add(n);
        if (!WriteLinesFile(folder + "patchfilelist.txt", list.lines())) {
            generatedList = false;
            Box(std::string("I/O error writing ") + folder + "patchfilelist.txt: " + std::strerror(errno),
                BoxKind::Error);
            return;
        }
        switchAllowed = w_.statwin.candoit.checked;
    }
    if (VolkarRunning(p_.state.gameFolder, p_.processes) && !switchAllowed) {
        Box("VolkarMMP must be stopped to apply this patch!");
        return;
    }
    if (fmdmMode) {
        const std::string area = areaPath();
        for (const auto& other : catalogue)
            if (PathExists(area, other + ".act")) Switch(other, false, f.cautious.checked, &f.ProgBar);
    }
    Switch(name, true, f.cautious.checked, &f.ProgBar);
    if (generatedList) {
        ::unlink((folder + "patchfilelist.txt").c_str());
        generatedList = false;
    }
    FillActiveGrid(f.showAll.checked);
}

void PatchSwitcher::turnoffClick() {
    auto& f = w_.patchsw;
    const std::string name = selected();
    if (name.empty()) {
        Box("Double click the patch you want de-activated !!");
        return;
    }
    Status(ResolvePath(areaPath(), name));
    if (!switchAllowed)
        Box("VolkarMMP must be stopped first!!!");
    else
        Switch(name, false, f.cautious.checked, &f.ProgBar);
    FillActiveGrid(f.showAll.checked);
}

std::string PatchSwitcher::dataRel(const std::string& nameInArea) const {
    const std::string data = DataPath(p_.state.gameFolder);
    std::string area = areaPath();
    std::string rel = area.rfind(data, 0) == 0 ? area.substr(data.size()) : std::string(kPatchAreas[areaIndex()].folder) + "/";
    for (char c : nameInArea) rel += c == '\\' ? '/' : c;
    return rel;
}

void PatchSwitcher::FileOn(const std::string& rel, const std::string& owner, const std::string& sourceOs) {
    store().provide(rel, owner, sourceOs);  // a failed copy is not reported; the file stays as it was
}

void PatchSwitcher::FileOff(const std::string& rel, const std::string& owner, const std::string& sourceOs) {
    if (store().withdraw(rel, owner)) return;
    // Another active patch provides it: its content and the original stay in the store.
    if (store().managed(rel)) return;
    // A file the store does not know (a patch turned on before the store existed, or never):
    // only a copy of this patch's own file goes; anything else may be the game's.
    const std::string target = store().targetPath(rel);
    if (SameContent(target, sourceOs)) RemoveFileDurably(target);
}

void PatchSwitcher::ArchiveSpecial(bool on, const std::string& folderOs, const std::string& name,
                                   const std::string& owner) {
    try {
        if (p_.releaseHeld) p_.releaseHeld();
        const std::string source = ResolvePath(folderOs, name);
        if (!on) {
            bool failed = false;
            if (store().hasLayer(name, owner)) {
                failed = !store().withdraw(name, owner);
            } else if (!store().managed(name)) {
                const std::string target = store().targetPath(name);
                if (SameContent(target, source)) failed = !RemoveFileDurably(target);
            }
            if (failed) Box("Delete error:" + folderOs + "\\..\\..\\" + name);
        } else if (PathExists(folderOs, name)) {
            store().provide(name, owner, source);
        }
        if (p_.takeHeld) p_.takeHeld();
    } catch (...) {
        if (p_.takeHeld) p_.takeHeld();
        Box("Error handling " + name + " better restart wdn player....");
    }
}

void PatchSwitcher::Switch(const std::string& name, bool on, bool protect, ProgressBar* bar) {
    const std::string area = areaPath();
    const std::string folder = ResolvePath(area, name) + "/";
    const bool fmdm = IsFmDmPatch(folder);
    const std::string ext = MarkerExtension(fmdm);
    const std::string marker = ResolvePath(area, name + ext);
    const std::string owner = LowerAscii(dataRel(name + ext));
    if (bar) bar->visible = true;
    auto step = [&] {
        if (bar) bar->position = std::min(bar->max, bar->position + 1);
    };

    if (!store().load()) {
        // Without the record of what is kept, a switch could lose the game's own files.
        Box("The patch backup store " + store().folder() + "manifest cannot be read; nothing was switched.",
            BoxKind::Error);
        if (bar) bar->visible = false;
        return;
    }
    SwitchJournal journal{on, owner, marker, generatedList && on ? folder + "patchfilelist.txt" : std::string()};
    if (!store().begin(journal)) {
        Box(std::string("I/O error writing the patch backup journal: ") + std::strerror(errno), BoxKind::Error);
        if (bar) bar->visible = false;
        return;
    }

    const bool hasList = PathExists(folder, "patchfilelist.txt");
    const bool hasMarker = PathExists(area, name + ext);
    const std::string refusal =
        " uncheck \"Do not overwrite critical VK files if you want this file processed. It may render your game "
        "unusable...";
    if (hasList || hasMarker) {
        bool ok = false;
        const std::vector<std::string> lines =
            ReadLines(hasList ? ResolvePath(folder, "patchfilelist.txt") : marker, ok);
        if (!ok) {
            store().end();
            Box(std::string("I/O error reading the file list of ") + name, BoxKind::Error);
            if (bar) bar->visible = false;
            return;
        }
        if (bar) bar->max = static_cast<int>(lines.size());
        for (const auto& line : lines) {
            if (line.empty() || line == "." || line == "..") continue;
            if (!hasList && (line.rfind(kRecordPath, 0) == 0 || line.rfind(kRecordTime, 0) == 0)) continue;
            if (!IsSafeListName(line)) {
                Box("Not processing file: " + line + ", its name leads outside the patch folder.", BoxKind::Warning);
                continue;
            }
            const std::string rel = dataRel(line);
            // Putting back the game's own file is never refused.
            const bool backed = !on && store().hasLayer(IsArchiveSpecial(line) ? LowerAscii(line) : rel, owner);
            if (protect && !backed && IsProtectedName(line, true)) {
                Box("Not processing file: " + line + refusal);
                continue;
            }
            step();
            const std::string source = ResolvePath(folder, line);
            if (!on) {
                if (IsArchiveSpecial(line))
                    ArchiveSpecial(false, folder, line, owner);
                else
                    FileOff(rel, owner, source);
            } else if (PathExists(folder, line)) {
                if (IsArchiveSpecial(line))
                    ArchiveSpecial(true, folder, line, owner);
                else
                    FileOn(rel, owner, source);
            }
            if (g_patchFailpoint) g_patchFailpoint("between-files");
        }
        if (on && !WriteLinesFile(marker, lines)) {
            Box(std::string("I/O error writing ") + marker + ": " + std::strerror(errno), BoxKind::Error);
            if (bar) bar->visible = false;
            return;  // the journal stays: the next activation undoes this switch
        }
    } else {
        for (const auto& e : FindFiles(folder, "*")) {
            if (e.attributes & kAttrDirectory) continue;  // a folder is not copied or deleted
            const std::string& entry = e.name;
            const std::string rel = dataRel(entry);
            const bool backed = !on && store().hasLayer(IsArchiveSpecial(entry) ? LowerAscii(entry) : rel, owner);
            if (protect && !backed && IsProtectedName(entry, false)) {
                Box("Not processing file: " + entry + refusal);
                continue;
            }
            step();
            const std::string source = folder + entry;
            if (IsArchiveSpecial(entry))
                ArchiveSpecial(on, folder, entry, owner);
            else if (on)
                FileOn(rel, owner, source);
            else
                FileOff(rel, owner, source);
        }
    }
    if (!on) {
        // Whatever the list says now, nothing of this patch stays in the game.
        if (p_.releaseHeld) p_.releaseHeld();
        store().withdrawAll(owner);
        if (p_.takeHeld) p_.takeHeld();
    }

    const char* batch = on ? "patchon.bat" : "patchoff.bat";
    if (PathExists(folder, batch)) p_.shell.ShellExecute("open", ResolvePath(folder, batch), "", area);

    if (!on) {
        RemoveFileDurably(marker);
    } else if (!WriteLinesFile(marker, {kRecordPath + name, kRecordTime + PatchTimestamp(p_.clock)}, true)) {
        Box(std::string("I/O error writing ") + marker + ": " + std::strerror(errno), BoxKind::Error);
        if (bar) bar->visible = false;
        return;
    }
    store().end();

    if (bar) {
        bar->position = bar->max;
        p_.clock.sleep(200);
        bar->position = bar->min;
        bar->visible = false;
    }
}

}  // namespace vk

namespace vk {

// ---- window definitions --------------------------------------------------------------------

WindowDef PatchSwitcher::PatchSwWindow() {
    auto& f = w_.patchsw;
    WindowDef w("patchsw", f.Caption, f.visible, {0, 0, 760, 600});
    w.add("Label2", f.Label2, {8, 10, 100, 20});
    w.add("setdir", f.setdir, {110, 8, 160, 24});
    w.add("exclus", f.exclus, {290, 10, 460, 22});
    w.add("descr", f.descr, {8, 38, 740, 20}, Style{0, true});
    w.add("step1", f.step1, {8, 62, 400, 18});
    w.add("patchav", f.patchav, {8, 82, 262, 196});
    w.add("stat", f.stat, {280, 82, 470, 22}, Style{0, true, false, true});
    w.add("step2", f.step2, {280, 110, 470, 18});
    w.add("turnon", f.turnon, {280, 130, 110, 28});
    w.add("cautious", f.cautious, {400, 134, 350, 22});
    w.add("step3", f.step3, {280, 164, 470, 18});
    w.add("turnoff", f.turnoff, {280, 184, 110, 28});
    w.add("viewinfo", f.viewinfo, {400, 184, 170, 28});
    w.add("statinf", f.statinf, {580, 184, 170, 28});
    w.add("ProgBar", f.ProgBar, {280, 222, 470, 18});
    w.add("patchon", f.patchon, {200, 282, 70, 20});
    w.add("showAll", f.showAll, {8, 282, 360, 22});
    // A smaller font keeps "Non - FM/DM" on one line in its 70-pixel column.
    const Style grid{8};
    w.add("actpat", f.actpat, {8, 306, 370, 226}, grid);
    w.add("allpat", f.allpat, {388, 252, 362, 280}, grid);
    w.add("Refresh", f.Refresh, {640, 538, 110, 28});
    w.add("runMPP", f.runMPP, {8, 538, 180, 28});
    w.add("runSP", f.runSP, {196, 538, 180, 28});
    w.add("wrdone", f.wrdone, {388, 538, 110, 28});
    w.add("StatBar", f.StatBar, {0, 574, 760, 24}, Style{0, false, false, true});
    w.hintsTo("StatBar");
    w.on("", Event::Activate, [this] { FormActivate(); });
    w.on("", Event::Click, [this] { FormClick(); });
    w.on("", Event::Hide, [this] { FormHide(); });
    w.on("setdir", Event::Change, [this] { setdirChange(); });
    w.on("exclus", Event::Click, [this] { exclusClick(); });
    w.on("showAll", Event::Click, [this] { showAllClick(); });
    w.on("patchav", Event::Click, [this] { patchavClick(); });
    w.on("patchav", Event::DblClick, [this] { patchavDblClick(); });
    w.on("actpat", Event::DblClick, [this] { actpatDblClick(); });
    w.on("allpat", Event::Click, [this] { patchavClick(); });
    w.on("allpat", Event::DblClick, [this] { allpatDblClick(); });
    w.on("turnon", Event::Click, [this] { turnonClick(); });
    w.on("turnoff", Event::Click, [this] { turnoffClick(); });
    w.on("viewinfo", Event::Click, [this] { viewinfoClick(); });
    w.on("statinf", Event::Click, [this] { statinfClick(); });
    w.on("Refresh", Event::Click, [this] { RefreshClick(); });
    w.on("runMPP", Event::Click, [this] { runMPPClick(); });
    w.on("runSP", Event::Click, [this] { runSPClick(); });
    w.on("wrdone", Event::Click, [this] { wrdoneClick(); });
    return w;
}

WindowDef PatchSwitcher::StatWinWindow() {
    auto& s = w_.statwin;
    WindowDef w("statwin", s.Caption, s.visible, {0, 0, 320, 170});
    w.add("Label1", s.Label1, {8, 8, 300, 18}, Style{0, true});
    w.add("candoit", s.candoit, {8, 32, 300, 22});
    w.add("volsorteds", s.volsorteds, {8, 56, 300, 22});
    w.add("volkarruns", s.volkarruns, {8, 80, 300, 22});
    w.add("patchlistfound", s.patchlistfound, {8, 104, 300, 22});
    w.add("batonoff", s.batonoff, {8, 128, 300, 22});
    return w;
}

WindowDef PatchSwitcher::InfoWindow() {
    auto& i = w_.info;
    WindowDef w("info", i.Caption, i.visible, {0, 0, 520, 400});
    w.add("view", i.view, {0, 0, 520, 400});
    return w;
}

}  // namespace vk
