#include "client/net/winsock_errors.h"

#include <cerrno>
#include <netdb.h>

namespace vk {

namespace {

// The one table: Winsock number, its text, and the errno values that mean it on this system
// (0 = none). Several errno values can share a row; the first row that lists an errno wins.
//  - EBADF maps to 10038: a call on a handle that is not an open socket fails with
//    WSAENOTSOCK under Winsock, so 10009 never comes from a socket call.
//  - EAGAIN/EWOULDBLOCK (the same value here) is 10035, EINPROGRESS 10036.
//  - EPIPE (a send after the peer or we shut the connection) is 10058.
//  - ENOMEM is reported as lack of buffer space, 10055.
//  - 10067, 10091-10093 have no errno; 11001-11004 come from name resolution
//    (WinsockResolverError below), not from errno.
struct Row {
    int number;
    const char* text;
    int errnos[3];
};

constexpr Row kTable[] = {
    {10004, "Interrupted system call", {EINTR, ECANCELED, 0}},
    {10009, "Bad file number", {0, 0, 0}},
    {10013, "Permission denied", {EACCES, EPERM, 0}},
    {10014, "Bad address", {EFAULT, 0, 0}},
    {10022, "Invalid argument", {EINVAL, 0, 0}},
    {10024, "Too many open files", {EMFILE, ENFILE, 0}},
    {10035, "Operation would block", {EWOULDBLOCK, EAGAIN, 0}},
    {10036, "Operation now in progress", {EINPROGRESS, 0, 0}},
    {10037, "Operation already in progress", {EALREADY, 0, 0}},
    {10038, "Socket operation on non-socket", {ENOTSOCK, EBADF, 0}},
    {10039, "Destination address required", {EDESTADDRREQ, 0, 0}},
    {10040, "Message too long", {EMSGSIZE, 0, 0}},
    {10041, "Protocol wrong type for socket", {EPROTOTYPE, 0, 0}},
    {10042, "Protocol not available", {ENOPROTOOPT, 0, 0}},
    {10043, "Protocol not supported", {EPROTONOSUPPORT, 0, 0}},
    {10044, "Socket type not supported", {ESOCKTNOSUPPORT, 0, 0}},
    {10045, "Operation not supported on socket", {EOPNOTSUPP, 0, 0}},
    {10046, "Protocol family not supported", {EPFNOSUPPORT, 0, 0}},
    {10047, "Address family not supported by protocol family", {EAFNOSUPPORT, 0, 0}},
    {10048, "Address already in use", {EADDRINUSE, 0, 0}},
    {10049, "Can't assign requested address", {EADDRNOTAVAIL, 0, 0}},
    {10050, "Network is down", {ENETDOWN, 0, 0}},
    {10051, "Network is unreachable", {ENETUNREACH, 0, 0}},
    {10052, "Network dropped connection on reset", {ENETRESET, 0, 0}},
    {10053, "Software caused connection abort", {ECONNABORTED, 0, 0}},
    {10054, "Connection reset by peer", {ECONNRESET, 0, 0}},
    {10055, "No buffer space available", {ENOBUFS, ENOMEM, 0}},
    {10056, "Socket is already connected", {EISCONN, 0, 0}},
    {10057, "Socket is not connected", {ENOTCONN, 0, 0}},
    {10058, "Can't send after socket shutdown", {ESHUTDOWN, EPIPE, 0}},
    {10059, "Too many references: can't splice", {ETOOMANYREFS, 0, 0}},
    {10060, "Connection timed out", {ETIMEDOUT, 0, 0}},
    {10061, "Connection refused", {ECONNREFUSED, 0, 0}},
    {10062, "Too many levels of symbolic links", {ELOOP, 0, 0}},
    {10063, "File name too long", {ENAMETOOLONG, 0, 0}},
    {10064, "Host is down", {EHOSTDOWN, 0, 0}},
    {10065, "No route to host", {EHOSTUNREACH, 0, 0}},
    {10066, "Directory not empty", {ENOTEMPTY, 0, 0}},
    {10067, "Too many processes", {0, 0, 0}},
    {10068, "Too many users", {EUSERS, 0, 0}},
    {10069, "Disc quota exceeded", {EDQUOT, 0, 0}},
    {10070, "Stale NFS file handle", {ESTALE, 0, 0}},
    {10071, "Too many levels of remote in path", {EREMOTE, 0, 0}},
    {10091, "Network sub-system is unusable", {0, 0, 0}},
    {10092, "WinSock DLL cannot support this application", {0, 0, 0}},
    {10093, "WinSock not initialized", {0, 0, 0}},
    {11001, "Host not found", {0, 0, 0}},
    {11002, "Non-authoritative host not found", {0, 0, 0}},
    {11003, "Non-recoverable error", {0, 0, 0}},
    {11004, "No Data", {0, 0, 0}},
};

thread_local int lastError = 0;

}  // namespace

int WinsockError(int errnoValue) {
    if (errnoValue == 0) return 0;
    for (const Row& row : kTable)
        for (int e : row.errnos)
            if (e != 0 && e == errnoValue) return row.number;
    return kUnmappedErrnoBase + errnoValue;
}

int WinsockResolverError(int eaiCode) {
    switch (eaiCode) {
    case 0: return 0;
    case EAI_NONAME: return WSAHOST_NOT_FOUND;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
#ifdef EAI_ADDRFAMILY
    case EAI_ADDRFAMILY: return WSANO_DATA;
#endif
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_MEMORY: return WinsockError(ENOMEM);
    case EAI_SYSTEM: return WinsockError(errno);
    default: return WSANO_RECOVERY;  // EAI_FAIL and anything else the resolver cannot get past
    }
}

std::string WinsockErrorText(int number) {
    for (const Row& row : kTable)
        if (row.number == number) return row.text;
    return "Not a WinSock error";
}

int WSAGetLastError() { return lastError; }
void WSASetLastError(int number) { lastError = number; }
int WSASetLastErrorFromErrno() {
    lastError = WinsockError(errno);
    return lastError;
}

}  // namespace vk
