#pragma once
// The self-test window. The conversation writes only its log (Memo); the running flag is client
// state (ClientState::selfTestRunning).
#include <string>

#include "client/core/controls.h"
#include "selftest_deployment.h"

namespace vk {

inline constexpr const char* kSelfTestLogFile = "WDNplyr-Self-test.txt";

// What the label beside the ping site tells the player.
inline std::string PingSiteAdvice() {
    return std::string("Ping site: use a site that answers ping from a command window. This test is used to "
                       "find your Internet IP; if it fails, look your address up with a web browser at ") +
           kAddressCheckSite;
}

struct Tselftest {
    std::string Caption = "Self Test ";
    bool visible = false;

    Label Label1{"Local IP"};
    Edit locIP{"locIP"};
    Label Label2{"Internet IP"};
    Edit InetIP{"fill in your Internet IP"};
    Label Label3{"Port"};
    ComboBox wdnports{{"50998", "50000"}};
    Label Label4{PingSiteAdvice()};
    Edit pingsite{kDefaultPingSite};
    Button testLocalnow{"Test Local IP"};
    Button testINnow{"Test Internet IP"};
    Button cleartest{"Clear test results"};
    Button savelog{std::string("Save this log window to: ") + kSelfTestLogFile + " in the Volkar Folder"};
    ::vk::Memo Memo;  // the self-test log
};

}  // namespace vk
