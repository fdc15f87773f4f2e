// The definitions of the main window, the About box and the windows no subsystem owns yet.
#include "client/app/form1.h"

namespace vk {

WindowDef MainWindowControls(MainForm& f) {
    WindowDef w("Form1", f.Caption, f.visible, {0, 0, 720, 600});
    w.printCaptionAs("[caption] ");

    w.menu("File1", f.File1);
    w.item("Mfmswitch", f.Mfmswitch, "File1");
    w.item("Mxpsound", f.Mxpsound, "File1");
    w.item("Meta_toggle", f.Meta_toggle, "File1");
    w.item("Manualeditmplayerini1", f.Manualeditmplayerini1, "File1");
    w.item("Mupdmplyr", f.Mupdmplyr, "File1");
    w.item("Mselftest", f.Mselftest, "File1");
    w.item("Mblockedservers", f.Mblockedservers, "File1");
    w.item("Maboutme", f.Maboutme, "File1");
    w.item("N1", f.N1, "File1");
    w.item("Mquit", f.Mquit, "File1");
    w.menu("Connection1", f.Connection1);
    w.item("Mlisten", f.Mlisten, "Connection1");
    w.item("Mclose", f.Mclose, "Connection1");
    w.item("MCancellisten", f.MCancellisten, "Connection1");
    w.item("Mportmap", f.Mportmap, "Connection1");
    w.menu("WDNVKConfiginfo1", f.WDNVKConfiginfo1);
    w.item("Mshowconfig", f.Mshowconfig, "WDNVKConfiginfo1");
    w.item("Mshowerrors", f.Mshowerrors, "WDNVKConfiginfo1");
    w.item("MServerinfo", f.MServerinfo, "WDNVKConfiginfo1");
    w.item("mabout", f.mabout, "");

    Style status;
    status.fontSize = 16;
    status.bold = true;
    status.centered = true;
    status.framed = true;
    w.add("cfgstatus", f.cfgstatus, {8, 8, 704, 44}, status).printAs = "[status] ";
    w.add("Label1", f.Label1, {8, 64, 40, 21});
    w.add("Port", f.Port, {50, 62, 90, 23}).printAs = "[Port] ";
    w.add("Label2", f.Label2, {150, 64, 60, 21});
    w.add("IPAddr", f.IPAddr, {212, 62, 160, 23});
    w.add("URIP", f.URIP, {8, 92, 364, 21}).printAs = "[URIP] ";
    Style panel;
    panel.centered = true;
    panel.framed = true;
    w.add("instldfm", f.instldfm, {8, 118, 364, 28}, panel);
    w.add("cantforward", f.cantforward, {8, 156, 180, 23});
    w.add("getmetas", f.getmetas, {196, 154, 176, 27});
    w.add("priolist", f.priolist, {392, 62, 180, 25});
    w.radio("prboost", f.prboost, {392, 92, 180, 21});
    w.add("bgcheck", f.bgcheck, {392, 116, 180, 21});
    w.add("pgroup", f.pgroup, {392, 140, 320, 48});
    w.radio("pnormal", f.pnormal, {8, 20, 72, 21}, "pgroup");
    w.radio("plower", f.plower, {84, 20, 72, 21}, "pgroup");
    w.radio("plowest", f.plowest, {160, 20, 72, 21}, "pgroup");
    w.radio("pidle", f.pidle, {236, 20, 72, 21}, "pgroup");
    w.add("mtiks", f.mtiks, {392, 194, 100, 23});
    w.add("Memo1", f.Memo1, {8, 226, 704, 326}).printAs = "  | ";
    w.add("getservinf", f.getservinf, {8, 562, 130, 27});
    w.add("Button4", f.Button4, {632, 562, 80, 27});
    return w;
}

WindowDef TForm1::MainWindow() {
    WindowDef w = MainWindowControls(Form1);
    w.on("", Event::Create, [this] { FormCreate(); });
    w.on("", Event::Activate, [this] { FormActivate(); });
    w.onCloseQuery([this] { return FormCloseQuery(); });
    // Closing the main window ends the program.
    w.on("", Event::Close, [this] { terminated = true; });
    w.on("Mselftest", Event::Click, [this] { connectivityTest.dotestClick(); });
    w.on("Mfmswitch", Event::Click, [this] { patches.fmpatcherClick(); });
    w.on("Mxpsound", Event::Click, [this] { xp.showxpClick(); });
    w.on("Mblockedservers", Event::Click, [this] { blockfakeClick(); });
    w.on("Mquit", Event::Click, [this] { QuitClick(); });
    w.on("Mlisten", Event::Click, [this] { ListenClick(); });
    w.on("Mclose", Event::Click, [this] { CloseClick(); });
    w.on("MCancellisten", Event::Click, [this] { CancelListenClick(); });
    w.on("Mportmap", Event::Click, [this] { portMapping.MportmapClick(); });
    w.on("Mshowconfig", Event::Click, [this] { reports.Showcfg(); });
    w.on("Mshowerrors", Event::Click, [this] { reports.Showerrlist(); });
    w.on("MServerinfo", Event::Click, [this] { reports.getservinfClick(); });
    w.on("mabout", Event::Click, [this] { AboutClick(); });
    w.on("instldfm", Event::DblClick, [this] { instldfmDblClick(); });
    w.on("bgcheck", Event::Click, [this] { bgcheckClick(); });
    w.on("priolist", Event::Change, [this] { priolistChange(); });
    w.on("getservinf", Event::Click, [this] { reports.getservinfClick(); });
    w.on("Button4", Event::Click, [this] { Button4Click(); });
    w.on("getmetas", Event::Click, [this] { metabrws.visible = true; });
    w.on("Mupdmplyr", Event::Click, [this] { metabrws.visible = true; });
    w.on("Meta_toggle", Event::Click, [this] { mplayerServers.Meta_toggleClick(); });
    w.on("Manualeditmplayerini1", Event::Click, [this] { mplayerServers.editmplyr(); });
    w.on("cantforward", Event::Click, [this] { kickstart.cannotforward(); });
    return w;
}

WindowDef TForm1::AboutWindow() {
    TAboutBox& f = AboutBox;
    WindowDef w("AboutBox", f.Caption, f.visible, {0, 0, 380, 230});
    Style title;
    title.fontSize = 14;
    title.bold = true;
    w.add("ProductName", f.ProductName, {12, 10, 356, 28}, title);
    w.add("Version", f.Version, {12, 44, 356, 20});
    w.add("FileVersion", f.FileVersion, {12, 68, 356, 20});
    w.add("InstalledIn", f.InstalledIn, {12, 92, 356, 20});
    w.add("VolkarFound", f.VolkarFound, {12, 116, 356, 20});
    w.add("VolkarVersion", f.VolkarVersion, {12, 140, 356, 20});
    w.add("OKButton", f.OKButton, {288, 190, 80, 27});
    w.on("OKButton", Event::Click, [&f] { f.visible = false; });
    return w;
}

WindowDef HiddenWindow(TForm6& f) {
    WindowDef w("Form6", f.Caption, f.visible, {0, 0, 400, 300});
    w.add("hidlist", f.hidlist, {8, 8, 384, 284});
    return w;
}

}  // namespace vk
