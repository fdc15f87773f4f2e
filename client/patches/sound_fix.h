#pragma once
// The XP sound fix (xpform): writes the sound byte of both preference files and, while the fix
// is on, keeps them locked. Linux has no sharing modes, so the lock is the files held open with
// their write bits cleared; the bits come back when the lock is released and at exit.
#include <string>
#include <sys/types.h>

#include "client/core/main_form.h"
#include "client/core/window_def.h"
#include "client/patches/patch_forms.h"
#include "platform/dialogs.h"
#include "platform/shell.h"

namespace vk {

inline constexpr const char* kSoundMarker = "XPsound=on";
inline constexpr long kSoundByteOffset = 68;

class SoundFix {
public:
    SoundFix(Txpform& form, MenuItem& menuItem, Dialogs& dialogs, Shell& shell, std::string gameFolder);
    ~SoundFix();
    SoundFix(const SoundFix&) = delete;
    SoundFix& operator=(const SoundFix&) = delete;

    WindowDef XpWindow();

    void FormCreate();     // at program start
    void soundonClick();   // Sound ON
    void showxpClick();    // Form1.Mxpsound
    void startspClick();
    void startMPClick();
    // Releases the lock and gives the files their write bits back (program end).
    void Unlock();

    bool locked(int i) const { return held_[i].fd >= 0; }

private:
    struct Held {
        int fd = -1;
        mode_t mode = 0;  // the file's mode before its write bits were cleared
        std::string path;
    };
    void Release(Held& h);
    void Lock(Held& h, const std::string& path);

    Txpform& f_;
    MenuItem& item_;
    Dialogs& dialogs_;
    Shell& shell_;
    std::string game_;
    Held held_[2];
};

}  // namespace vk
