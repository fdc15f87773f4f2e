#pragma once
// The three report windows: the relevant config files of the last check, the last error
// information and the server info, each a log with its Clear button, opened from the main
// window's menu.
#include "client/core/client_state.h"
#include "client/core/errors_form.h"
#include "client/core/relconfig_form.h"
#include "client/core/serverinf_form.h"
#include "client/core/window_def.h"

namespace vk {

struct ReportForms {
    Trelconfigfiles& config;
    TForm3& errors;
    Tserverinf& serverInfo;
};

class Reports {
public:
    Reports(const ClientState& state, ReportForms forms) : state_(state), f_(forms) {}

    void Showcfg();          // log-plyr-cfg.txt with the explanatory block
    void Showerrlist();
    void getservinfClick();

    WindowDef ConfigWindow();
    WindowDef ErrorsWindow();
    WindowDef ServerInfoWindow();

private:
    const ClientState& state_;
    ReportForms f_;
};

}  // namespace vk
