#include "client/core/reports.h"

#include "client/core/list_file.h"
#include "platform/paths.h"

namespace vk {

namespace {

// A log with its Clear button; the three windows share this shape.
WindowDef LogWindow(const char* form, std::string& caption, bool& visible, const char* memoName, Memo& memo,
                    Button& clear, const char* printAs) {
    WindowDef w(form, caption, visible, {0, 0, 560, 360});
    w.add(memoName, memo, {8, 8, 544, 306}).printAs = printAs;
    w.add("Button1", clear, {472, 322, 80, 27});
    w.on("Button1", Event::Click, [&memo] { memo.Clear(); });
    return w;
}

}  // namespace

void Reports::Showcfg() {
    if (PathExists(state_.gameFolder, "log-plyr-cfg.txt"))
        f_.config.Memo1.lines = ReadLines(ResolvePath(state_.gameFolder, "log-plyr-cfg.txt"));
    for (const char* line : {
             "_____________________________________________________",
             "==> This filelist is to assist you in case of config problems;",
             "it contains the names of VK-security relevant files that have been found on your system",
             "_____________________________________________________",
             "=> Find the \"problem\" files in \"Last error info\", check in this list where they are",
             "and check if they are the correct version. If in doubt, refresh them",
             "_____________________________________________________",
             "==> When ONLY the 5 data\\volkar*.TED files are showing",
             "==> the WDN could not reach your Secure Player",
             "==> perhaps because of e.g. your Firewall settings,",
             "==> incorrect Port Forwarding (if you have a DSL or Cable router)",
             "==> or your ISP blocks incoming IP traffic for your security.",
             "==> If Port Forwarding is a problem, you can use Kickstart",
             "_____________________________________________________",
         })
        f_.config.Memo1.Add(line);
    f_.config.visible = true;
}

void Reports::Showerrlist() { f_.errors.visible = true; }
void Reports::getservinfClick() { f_.serverInfo.visible = true; }

WindowDef Reports::ConfigWindow() {
    return LogWindow("relconfigfiles", f_.config.Caption, f_.config.visible, "Memo1", f_.config.Memo1,
                     f_.config.Button1, "[config files] ");
}

WindowDef Reports::ErrorsWindow() {
    return LogWindow("Form3", f_.errors.Caption, f_.errors.visible, "cfgerrors", f_.errors.cfgerrors, f_.errors.Button1,
                     "[last errors] ");
}

WindowDef Reports::ServerInfoWindow() {
    return LogWindow("serverinf", f_.serverInfo.Caption, f_.serverInfo.visible, "servinfo", f_.serverInfo.servinfo,
                     f_.serverInfo.Button1, "[server info] ");
}

}  // namespace vk
