// WDNplyr: the player client with its windows, or without a display on --headless.
#include <QApplication>

#include <cstring>

#include "client/headless/headless.h"
#include "client/ui/front_end.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--headless") == 0) return vk::RunHeadless(argc, argv);

    QApplication qapp(argc, argv);
    // The main window decides when the program ends, not the last window closed.
    qapp.setQuitOnLastWindowClosed(false);
    vk::RouterPortMapper router;  // outlives the client, which removes its mappings at the end
    vk::ui::WindowedOptions options;
    options.portMapper = &router;
    vk::ui::WindowedClient client(options);
    client.endOnSignals();
    if (!client.start()) {
        client.shutdown();
        return client.exitCode();
    }
    return client.run();
}
