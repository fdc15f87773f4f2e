#include "client/core/geturl_form.h"

#include <utility>

namespace vk {

WindowDef GetUrlWindow(Tgeturl& f, std::function<void()> ok, std::function<void()> cancel) {
    WindowDef w("geturl", f.Caption, f.visible, {0, 0, 420, 140});
    Style wrap;
    wrap.wordWrap = true;
    w.add("dload", f.dload, {8, 8, 404, 84}, wrap);
    w.add("BitBtn1", f.BitBtn1, {250, 104, 75, 27});
    w.add("BitBtn2", f.BitBtn2, {337, 104, 75, 27});
    w.on("BitBtn1", Event::Click, std::move(ok));
    w.on("BitBtn2", Event::Click, std::move(cancel));
    return w;
}

}  // namespace vk
