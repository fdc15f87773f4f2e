#pragma once
// The client without a display: the same application object and form models as the windowed
// program, a poll() Reactor, the server message log and every other window's text printed on
// standard output, every message box printed and answered with its default button.
//
// Console commands (one a line on standard input): listen, close, cancel, connect, quit,
// exit (close the window), about, showcfg, errors, serverinfo, blocked, toggle [ADDR],
// unblock N, priority N, bgcheck on|off, clear. SIGINT, SIGTERM and SIGHUP close the window
// as the window's close button does.
namespace vk {

int RunHeadless(int argc, char** argv);

}  // namespace vk
