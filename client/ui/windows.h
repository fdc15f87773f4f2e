#pragma once
// The client's windows, built from their form models. Each builder makes a top-level widget
// whose children carry the components' names (objectName), binds them and returns it; the
// caller owns the widget.
#include <functional>
#include <string>

#include "client/app/forms.h"
#include "client/core/blockedips_form.h"
#include "client/core/errors_form.h"
#include "client/core/geturl_form.h"
#include "client/core/main_form.h"
#include "client/selftest/selftest_form.h"
#include "client/core/serverinf_form.h"
#include "client/ui/binder.h"

class QMainWindow;
class QWidget;

namespace vk::ui {

using Handler = std::function<void()>;

// What the main window's widgets and menu items call.
struct MainEvents {
    Handler ListenClick, CloseClick, CancelListenClick, QuitClick, AboutClick, Button4Click;
    Handler bgcheckClick, priolistChange, instldfmDblClick, blockfakeClick, Showcfg, Showerrlist;
    Handler getservinfClick, FormActivate, cantforwardClick, getmetasClick;
    std::function<bool()> FormCloseQuery;
    Handler closed;  // the main window was closed: the program ends
};

QMainWindow* BuildMainWindow(Binder& b, MainForm& f, const MainEvents& ev);
QWidget* BuildAboutBox(Binder& b, TAboutBox& f, Handler ok);
QWidget* BuildRelConfig(Binder& b, Trelconfigfiles& f, Handler clear);
QWidget* BuildLastError(Binder& b, TForm3& f, Handler clear);
QWidget* BuildServerInfo(Binder& b, Tserverinf& f, Handler clear);
QWidget* BuildBlockedIPs(Binder& b, TblockedIPs& f, Handler toggleip, Handler unblock);
QWidget* BuildHidden(Binder& b, TForm6& f);
QWidget* BuildGetUrl(Binder& b, Tgeturl& f, Handler ok, Handler cancel);
QWidget* BuildSelfTest(Binder& b, Tselftest& f);
// A window whose behaviour comes later: its caption and nothing else.
QWidget* BuildPlainWindow(Binder& b, const char* name, std::string& caption, bool& visible);

}  // namespace vk::ui
