#pragma once
// The Winsock error numbers and texts that the socket components report, and the mapping of
// the system's errno values onto them, so that a user sees the same texts on every platform.
#include <string>

namespace vk {

// The numbers the components name in their own logic.
enum WinsockErrorNumber : int {
    WSAEINTR = 10004,
    WSAEFAULT = 10014,
    WSAEINVAL = 10022,
    WSAEWOULDBLOCK = 10035,
    WSAEINPROGRESS = 10036,
    WSAENOTSOCK = 10038,
    WSAEADDRNOTAVAIL = 10049,
    WSAETIMEDOUT = 10060,
    WSAECONNREFUSED = 10061,
    WSAHOST_NOT_FOUND = 11001,
    WSATRY_AGAIN = 11002,
    WSANO_RECOVERY = 11003,
    WSANO_DATA = 11004,
};

// An errno without a Winsock counterpart is reported as this base plus the errno: its text is
// "Not a WinSock error" and the number still tells which errno it was.
constexpr int kUnmappedErrnoBase = 12000;

// Winsock number for an errno value (0 stays 0).
int WinsockError(int errnoValue);
// Winsock number for a getaddrinfo()/getnameinfo() result (EAI_...; 0 stays 0).
int WinsockResolverError(int eaiCode);
// The fixed English text of a Winsock number; "Not a WinSock error" for any other number.
std::string WinsockErrorText(int number);

// The calling thread's last socket error as a Winsock number, as WSAGetLastError() gives it:
// set by every failing socket call of the components, left alone by the successful ones.
int WSAGetLastError();
void WSASetLastError(int number);
// Sets the last error from errno and returns it.
int WSASetLastErrorFromErrno();

}  // namespace vk
