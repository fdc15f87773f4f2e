// The client without a display as a program of its own, for builds without Qt.
#include "client/headless/headless.h"

int main(int argc, char** argv) { return vk::RunHeadless(argc, argv); }
