#include "client/patches/backup_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "common/text.h"
#include "platform/paths.h"

namespace vk {

std::function<void(const char* step)> g_patchFailpoint;
bool g_patchSyncToDisk = true;

namespace {

void Step(const char* name) {
    if (g_patchFailpoint) g_patchFailpoint(name);
}

std::string FolderOf(const std::string& os) {
    const size_t slash = os.rfind('/');
    return slash == std::string::npos ? std::string(".") : os.substr(0, slash + 1);
}

void SyncFolder(const std::string& folder) {
    if (!g_patchSyncToDisk) return;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool SyncFile(int fd) { return !g_patchSyncToDisk || ::fsync(fd) == 0; }

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

// Writes the text through a synced temporary file renamed over path.
bool WriteTextDurably(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp";
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, text.data(), text.size()) && SyncFile(fd);
    ::close(fd);
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncFolder(FolderOf(path));
    return true;
}

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> out;
    size_t start = 0;
    while (true) {
        const size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos) break;
        start = tab + 1;
    }
    return out;
}

bool IsRegularFile(const std::string& os) {
    struct stat st;
    return ::stat(os.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool CopyFileDurably(const std::string& srcOs, const std::string& dstOs) {
    const int in = ::open(srcOs.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    struct stat st;
    if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(in);
        return false;
    }
    // A dot name beside the target: no catalogue, list or marker search picks it up.
    const std::string folder = FolderOf(dstOs);
    const std::string tmp = folder + ".vkswitch-" + std::to_string(::getpid()) + ".tmp";
    const int out = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    bool ok = true;
    std::vector<char> buf(1 << 20);
    bool stepped = false;
    while (ok) {
        const ssize_t r = ::read(in, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) ok = false;
        if (r <= 0) break;
        ok = WriteAll(out, buf.data(), static_cast<size_t>(r));
        if (!stepped) {
            Step("copy-partial");  // the temporary file is half written here
            stepped = true;
        }
    }
    ::close(in);
    ok = ok && SyncFile(out);
    ::fchmod(out, st.st_mode & 07777);
    ::close(out);
    if (ok) Step("copy-before-rename");
    if (!ok || ::rename(tmp.c_str(), dstOs.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    SyncFolder(folder);
    return true;
}

bool RemoveFileDurably(const std::string& os) {
    if (::unlink(os.c_str()) != 0 && errno != ENOENT) return false;
    SyncFolder(FolderOf(os));
    return true;
}

bool SameContent(const std::string& aOs, const std::string& bOs) {
    struct stat sa, sb;
    if (::stat(aOs.c_str(), &sa) != 0 || ::stat(bOs.c_str(), &sb) != 0) return false;
    if (!S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) || sa.st_size != sb.st_size) return false;
    std::ifstream a(aOs, std::ios::binary), b(bOs, std::ios::binary);
    if (!a || !b) return false;
    std::vector<char> x(1 << 16), y(1 << 16);
    while (a && b) {
        a.read(x.data(), static_cast<std::streamsize>(x.size()));
        b.read(y.data(), static_cast<std::streamsize>(y.size()));
        if (a.gcount() != b.gcount()) return false;
        if (std::string_view(x.data(), static_cast<size_t>(a.gcount())) !=
            std::string_view(y.data(), static_cast<size_t>(b.gcount())))
            return false;
    }
    return true;
}

BackupStore::BackupStore(std::string dataOs) : data_(std::move(dataOs)) {
    if (data_.empty() || data_.back() != '/') data_ += '/';
    store_ = data_ + ".vkbackup/";
}

std::string BackupStore::targetPath(const std::string& rel) const { return ResolvePath(data_, rel); }

BackupStore::Target* BackupStore::find(const std::string& rel) {
    for (auto& t : targets_)
        if (EqualsNoCase(t.rel, rel)) return &t;
    return nullptr;
}

const BackupStore::Target* BackupStore::find(const std::string& rel) const {
    for (const auto& t : targets_)
        if (EqualsNoCase(t.rel, rel)) return &t;
    return nullptr;
}

bool BackupStore::managed(const std::string& rel) const { return find(rel) != nullptr; }

bool BackupStore::hasLayer(const std::string& rel, const std::string& owner) const {
    const Target* t = find(rel);
    if (!t) return false;
    for (const auto& e : t->stack)
        if (e.owner == owner) return true;
    return false;
}

bool BackupStore::load() {
    targets_.clear();
    next_ = 1;
    if (!IsRegularFile(store_ + "manifest")) return true;
    std::ifstream in(store_ + "manifest", std::ios::binary);
    if (!in) return false;
    std::string line;
    if (!std::getline(in, line) || line != "vkbackup 1") return false;
    while (std::getline(in, line)) {
        auto f = SplitTabs(line);
        if (f.size() == 2 && f[0] == "next") {
            next_ = static_cast<unsigned>(std::strtoul(f[1].c_str(), nullptr, 10));
        } else if (f.size() >= 4 && f[0] == "t" && f.size() % 2 == 0) {
            Target t;
            t.rel = f[1];
            for (size_t i = 2; i + 1 < f.size(); i += 2) t.stack.push_back({f[i], f[i + 1]});
            targets_.push_back(std::move(t));
        }
    }
    return true;
}

bool BackupStore::save() {
    if (targets_.empty() && !IsRegularFile(store_ + "manifest")) return true;
    ::mkdir(store_.c_str(), 0755);
    std::ostringstream out;
    out << "vkbackup 1\nnext\t" << next_ << "\n";
    for (const auto& t : targets_) {
        out << "t\t" << t.rel;
        for (const auto& e : t.stack) out << '\t' << e.owner << '\t' << e.state;
        out << '\n';
    }
    return WriteTextDurably(store_ + "manifest", out.str());
}

std::string BackupStore::newBlob() {
    char name[32];
    std::snprintf(name, sizeof name, "b%06u", next_++);
    return name;
}

bool BackupStore::provide(const std::string& rel, const std::string& owner, const std::string& sourceOs) {
    if (!IsRegularFile(sourceOs)) return false;
    ::mkdir(store_.c_str(), 0755);
    const std::string target = targetPath(rel);
    struct stat st;
    // A folder (or anything but a file) of that name is not replaced by a patch file.
    if (::lstat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) return false;
    Target* t = find(rel);
    if (t && !t->stack.empty() && t->stack.back().owner == owner) {
        // Already on top: only the content is renewed.
        return CopyFileDurably(sourceOs, target);
    }
    if (t && hasLayer(rel, owner)) {
        // Provided lower down: moves to the top, so its old layer and blob go.
        for (size_t i = 0; i < t->stack.size(); ++i) {
            if (t->stack[i].owner != owner) continue;
            const std::string blob = t->stack[i].state;
            t->stack.erase(t->stack.begin() + static_cast<long>(i));
            if (!save()) return false;
            if (blob != "-" && blob != "@") RemoveFileDurably(store_ + blob);
            break;
        }
    }
    // Keep what the file holds now for the layer it belongs to.
    std::string kept = "-";
    if (IsRegularFile(target)) {
        kept = newBlob();
        // A second name for the file is enough: the patch's copy is renamed over the target
        // below, so the kept inode is never written again. Another file system needs a copy.
        const std::string blob = store_ + kept;
        if (::link(target.c_str(), blob.c_str()) == 0) {
            SyncFolder(store_);
        } else if (!CopyFileDurably(target, blob)) {
            return false;
        }
        Step("blob-saved");
    }
    Target* cur = find(rel);
    if (!cur) {
        targets_.push_back({rel, {{"*", kept}}});
        cur = &targets_.back();
    } else {
        cur->stack.back().state = kept;
    }
    cur->stack.push_back({owner, "@"});
    if (!save()) return false;
    Step("manifest-pushed");
    if (!CopyFileDurably(sourceOs, target)) {
        withdraw(rel, owner);  // puts the kept content back
        return false;
    }
    Step("file-copied");
    return true;
}

bool BackupStore::withdraw(const std::string& rel, const std::string& owner) {
    Target* t = find(rel);
    if (!t) return false;
    size_t i = 0;
    while (i < t->stack.size() && (t->stack[i].owner != owner || i == 0)) ++i;
    if (i >= t->stack.size()) return false;
    if (i + 1 < t->stack.size()) {
        // A lower layer: the file keeps showing the layer above it.
        const std::string blob = t->stack[i].state;
        t->stack.erase(t->stack.begin() + static_cast<long>(i));
        if (!save()) return false;
        Step("manifest-dropped");
        if (blob != "-" && blob != "@") RemoveFileDurably(store_ + blob);
        return true;
    }
    // The top: the layer below comes back into the file. The manifest still names the blob
    // until the file holds it, so this can run again after an interruption.
    const std::string target = targetPath(rel);
    const std::string below = t->stack[i - 1].state;
    if (below == "-") {
        if (!RemoveFileDurably(target)) return false;
    } else if (below != "@") {
        if (!CopyFileDurably(store_ + below, target)) return false;
    }
    Step("file-restored");
    t->stack.pop_back();
    t->stack.back().state = "@";
    if (t->stack.size() == 1) {
        for (size_t k = 0; k < targets_.size(); ++k)
            if (&targets_[k] == t) {
                targets_.erase(targets_.begin() + static_cast<long>(k));
                break;
            }
    }
    if (!save()) return false;
    Step("manifest-popped");
    if (below != "-" && below != "@") RemoveFileDurably(store_ + below);
    return true;
}

void BackupStore::withdrawAll(const std::string& owner) {
    std::vector<std::string> rels;
    for (const auto& t : targets_)
        for (size_t i = 1; i < t.stack.size(); ++i)
            if (t.stack[i].owner == owner) rels.push_back(t.rel);
    for (const auto& rel : rels) withdraw(rel, owner);
}

bool BackupStore::begin(const SwitchJournal& j) {
    ::mkdir(store_.c_str(), 0755);
    std::string text = std::string(j.on ? "on" : "off") + "\n" + j.owner + "\n" + j.markerPath + "\n" + j.listPath + "\n";
    const bool ok = WriteTextDurably(store_ + "journal", text);
    Step("journal-written");
    return ok;
}

void BackupStore::end() {
    Step("before-journal-end");
    RemoveFileDurably(store_ + "journal");
    if (targets_.empty()) {
        // Nothing kept: the store leaves no trace in the game folder.
        RemoveFileDurably(store_ + "manifest");
        ::rmdir(store_.c_str());
    }
}

std::optional<SwitchJournal> BackupStore::pending() const {
    std::ifstream in(store_ + "journal", std::ios::binary);
    if (!in) return std::nullopt;
    SwitchJournal j;
    std::string dir;
    std::getline(in, dir);
    std::getline(in, j.owner);
    std::getline(in, j.markerPath);
    std::getline(in, j.listPath);
    j.on = dir == "on";
    return j;
}

bool BackupStore::recover() {
    // A manifest that cannot be read is left for the player to see rather than overwritten.
    if (!load()) return false;
    const auto j = pending();
    if (j) {
        if (!j->owner.empty()) withdrawAll(j->owner);
        // The journal only ever names the marker and list of the switch it was written for.
        if (!j->markerPath.empty() && j->markerPath.rfind(data_, 0) == 0) RemoveFileDurably(j->markerPath);
        if (!j->listPath.empty() && j->listPath.rfind(data_, 0) == 0) RemoveFileDurably(j->listPath);
    }
    collectGarbage();
    if (j) end();
    return j.has_value();
}

void BackupStore::collectGarbage() {
    std::vector<std::string> named;
    for (const auto& t : targets_)
        for (const auto& e : t.stack) named.push_back(e.state);
    if (DIR* d = ::opendir(store_.c_str())) {
        std::vector<std::string> stray;
        while (dirent* e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n == "." || n == ".." || n == "manifest" || n == "journal") continue;
            bool keep = false;
            for (const auto& s : named) keep = keep || s == n;
            if (!keep) stray.push_back(n);
        }
        ::closedir(d);
        for (const auto& n : stray) ::unlink((store_ + n).c_str());
    }
    // Half-written copies beside the files a switch wrote.
    std::vector<std::string> folders{data_};
    for (const auto& e : FindFiles(data_, "*"))
        if (e.attributes & kAttrDirectory && e.name[0] != '.') folders.push_back(data_ + e.name + "/");
    for (const auto& f : folders)
        for (const auto& e : FindFiles(f, ".vkswitch-*.tmp")) ::unlink((f + e.name).c_str());
    if (targets_.empty()) {
        RemoveFileDurably(store_ + "manifest");
        ::rmdir(store_.c_str());
    }
}

}  // namespace vk
