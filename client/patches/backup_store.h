#pragma once
// The backup store: keeps every game file a patch overwrites, so that turning patches off in any
// order puts the game back byte for byte.
//
// The store lives in data/.vkbackup/ (a dot name, so no patch list, catalogue or marker search
// ever sees it) and covers every file a switch writes: the patch areas' files and the archives
// of the data folder, which patches of all four areas share.
//
// For each managed file (a target, named relative to the data folder) the manifest keeps a
// stack: first the file as it was before any patch (its copy, or "absent"), then one layer per
// active patch that provides it, in activation order. The file itself holds the top layer's
// content; every layer below keeps its content as a blob. So:
//   provide  (Turn ON):  blob the current content for the current top, push the patch, copy.
//   withdraw (Turn OFF): top -> restore the blob below (or delete when "absent") and pop;
//                        lower layer -> drop it and its blob.
// Every step is write-ahead: blobs and the new file are written to a temporary name, synced and
// renamed into place; the manifest is replaced the same way, before the file it describes
// changes on a push and after it on a pop, so a withdraw can always be run again. A journal
// names the switch in progress; the next activation withdraws that patch everywhere (undoing an
// interrupted Turn ON, completing a Turn OFF) and deletes blobs no manifest names.
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace vk {

// Called at each durable step with its name; tests stop the process there.
extern std::function<void(const char* step)> g_patchFailpoint;
// Whether writes are synced to the disk (fsync of files and folders). Only a power failure
// needs it; tests that stop processes may turn it off to run quicker.
extern bool g_patchSyncToDisk;

struct SwitchJournal {
    bool on = true;
    std::string owner;        // "area/marker" of the patch being switched, lower case
    std::string markerPath;   // OS path of its marker
    std::string listPath;     // OS path of a patchfilelist.txt written for this switch ("" none)
};

class BackupStore {
public:
    // dataOs: the data folder's OS path ending in '/'.
    explicit BackupStore(std::string dataOs);

    struct Entry {
        std::string owner;  // "*" = the file before any patch
        std::string state;  // "-" absent, "@" the live file (top only), else a blob name
    };
    struct Target {
        std::string rel;    // relative to the data folder, '/' separated, as first written
        std::vector<Entry> stack;
    };

    // Re-reads the manifest (a missing one is an empty store). False when it cannot be read.
    bool load();
    // Turn ON of one file: sourceOs is copied over the target, the former content kept.
    // False (target unchanged or restored) when the copy could not be made.
    bool provide(const std::string& rel, const std::string& owner, const std::string& sourceOs);
    // Turn OFF of one file; false when owner had no layer for it.
    bool withdraw(const std::string& rel, const std::string& owner);
    // Withdraws every layer of owner.
    void withdrawAll(const std::string& owner);
    bool managed(const std::string& rel) const;
    bool hasLayer(const std::string& rel, const std::string& owner) const;
    const std::vector<Target>& targets() const { return targets_; }
    bool empty() const { return targets_.empty(); }

    // The journal of the switch in progress.
    bool begin(const SwitchJournal& j);
    void end();
    std::optional<SwitchJournal> pending() const;
    // Finishes an interrupted switch: its patch withdrawn everywhere, its marker and generated
    // list removed, stray blobs and temporary files deleted. True when there was one.
    bool recover();

    std::string targetPath(const std::string& rel) const;
    const std::string& folder() const { return store_; }

private:
    Target* find(const std::string& rel);
    const Target* find(const std::string& rel) const;
    bool save();
    std::string newBlob();
    void collectGarbage();

    std::string data_;
    std::string store_;
    unsigned next_ = 1;
    std::vector<Target> targets_;
};

// Copies src to dst through a synced temporary file renamed into place. False on failure (dst
// unchanged).
bool CopyFileDurably(const std::string& srcOs, const std::string& dstOs);
// Removes a file and syncs its folder; true when it is gone.
bool RemoveFileDurably(const std::string& os);
bool SameContent(const std::string& aOs, const std::string& bOs);

}  // namespace vk
