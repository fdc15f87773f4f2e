#include "platform/console_keys.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>

namespace vk {

static_assert(sizeof(termios) <= 64, "saved terminal state does not fit");

ConsoleKeys::ConsoleKeys() {
    if (isatty(STDIN_FILENO)) {
        termios t{};
        if (tcgetattr(STDIN_FILENO, &t) == 0) {
            std::memcpy(saved_, &t, sizeof t);
            t.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
            t.c_cc[VMIN] = 0;
            t.c_cc[VTIME] = 0;
            raw_ = tcsetattr(STDIN_FILENO, TCSANOW, &t) == 0;
        }
    }
}

ConsoleKeys::~ConsoleKeys() {
    if (raw_) {
        termios t{};
        std::memcpy(&t, saved_, sizeof t);
        tcsetattr(STDIN_FILENO, TCSANOW, &t);
    }
}

bool ConsoleKeys::keyWaiting() {
    if (pending_ >= 0) return true;
    if (eof_) return false;
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (poll(&p, 1, 0) <= 0) return false;
    if (!(p.revents & (POLLIN | POLLHUP))) {
        if (p.revents & (POLLERR | POLLNVAL)) eof_ = true;
        return false;
    }
    unsigned char c = 0;
    ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) {
        pending_ = c;
        return true;
    }
    // End of piped input (or a closed terminal): no more keys, and no busy polling on it.
    if (n == 0) eof_ = true;
    return false;
}

int ConsoleKeys::readKey() {
    int k = pending_;
    pending_ = -1;
    return k;
}

}  // namespace vk
