#include "client/core/selftest_form.h"

namespace vk {

WindowDef SelfTestLogWindow(Tselftest& f) {
    WindowDef w("selftest", f.Caption, f.visible, {0, 0, 560, 360});
    w.add("Memo", f.Memo, {8, 8, 544, 344}).printAs = "[self test] ";
    return w;
}

}  // namespace vk
