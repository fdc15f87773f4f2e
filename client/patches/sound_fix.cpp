#include "client/patches/sound_fix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "client/core/app_box.h"
#include "client/patches/switcher.h"
#include "platform/paths.h"

namespace vk {

namespace {
constexpr const char* kPrefFiles[2] = {"data\\vkprefs.dat", "data\\multi\\mpprefs.dat"};
constexpr const char* kPrefErrors[2] = {"Error turning sound on, was VK SP allready running?",
                                        "Error turning sound on, was VK MMP allready running?"};
constexpr mode_t kWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;
}  // namespace

SoundFix::SoundFix(Txpform& form, MenuItem& menuItem, Dialogs& dialogs, Shell& shell, std::string gameFolder)
    : f_(form), item_(menuItem), dialogs_(dialogs), shell_(shell), game_(std::move(gameFolder)) {
    item_.caption = "XP sound fix";
    item_.hint = "XP only. Uncheck if you want to change preferences, then check it again to restore sound....";
}

SoundFix::~SoundFix() { Unlock(); }

void SoundFix::Release(Held& h) {
    if (h.fd < 0) return;
    ::close(h.fd);
    h.fd = -1;
    struct stat st;
    // Only the write bits we took are given back; anything else the player changed stays.
    if (::stat(h.path.c_str(), &st) == 0) ::chmod(h.path.c_str(), (st.st_mode & 07777) | (h.mode & kWriteBits));
}

void SoundFix::Lock(Held& h, const std::string& path) {
    Release(h);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return;  // failures are ignored
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        ::close(fd);
        return;
    }
    h.fd = fd;
    h.mode = st.st_mode & 07777;
    h.path = path;
    ::fchmod(fd, h.mode & ~kWriteBits);
}

void SoundFix::Unlock() {
    for (auto& h : held_) Release(h);
}

void SoundFix::FormCreate() {
    item_.checked = PathExists(game_, kSoundMarker);
    f_.Lockfiles.checked = item_.checked;
    soundonClick();
}

void SoundFix::soundonClick() {
    for (int i = 0; i < 2; ++i) {
        if (!PathExists(game_, kPrefFiles[i])) continue;
        const std::string path = ResolvePath(game_, kPrefFiles[i]);
        Release(held_[i]);
        // The archive attribute alone: a read-only file becomes writable.
        struct stat st;
        if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
        bool ok = false;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            // A file too short to hold the setting is not a preference file of the game: it is
            // left as it is rather than grown with zeros.
            struct stat fs;
            const char zero = 0;
            ok = ::fstat(fd, &fs) == 0 && fs.st_size > kSoundByteOffset &&
                 ::pwrite(fd, &zero, 1, kSoundByteOffset) == 1;
            ::close(fd);
        }
        if (!ok) ShowBox(dialogs_, BoxKind::Information, kPrefErrors[i]);
    }
    for (int i = 0; i < 2; ++i) {
        if (f_.Lockfiles.checked) {
            if (PathExists(game_, kPrefFiles[i])) Lock(held_[i], ResolvePath(game_, kPrefFiles[i]));
        } else {
            Release(held_[i]);
        }
    }
}

void SoundFix::showxpClick() {
    item_.checked = !item_.checked;
    f_.Lockfiles.checked = item_.checked;
    const std::string marker = ResolvePath(game_, kSoundMarker);
    if (item_.checked) {
        std::ofstream(marker, std::ios::binary) << "XP sound patch = on\r\n";
        ShowBox(dialogs_, BoxKind::Information, "VK pref files locked");
    } else {
        ::unlink(marker.c_str());
        ShowBox(dialogs_, BoxKind::Information,
                "VK pref files unlocked, \r\nchange your preferences and then turn XP sound on again");
    }
    soundonClick();
}

void SoundFix::startspClick() {
    soundonClick();
    StartGame(shell_, dialogs_, game_, "volkar.exe");
}

void SoundFix::startMPClick() {
    soundonClick();
    StartGame(shell_, dialogs_, game_, "volkarmmp.exe");
}

WindowDef SoundFix::XpWindow() {
    WindowDef w("xpform", f_.Caption, f_.visible, {0, 0, 260, 150});
    w.add("Label1", f_.Label1, {8, 8, 244, 18});
    w.add("soundon", f_.soundon, {8, 34, 110, 27});
    w.add("Lockfiles", f_.Lockfiles, {130, 38, 120, 21});
    w.add("startsp", f_.startsp, {8, 72, 110, 27});
    w.add("startMP", f_.startMP, {130, 72, 110, 27});
    w.on("", Event::Create, [this] { FormCreate(); });
    w.on("soundon", Event::Click, [this] { soundonClick(); });
    w.on("startsp", Event::Click, [this] { startspClick(); });
    w.on("startMP", Event::Click, [this] { startMPClick(); });
    return w;
}

}  // namespace vk
