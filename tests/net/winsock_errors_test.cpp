#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

#include <thread>

#include "client/net/winsock_errors.h"

namespace vk {
namespace {

TEST(WinsockErrorText, EveryNumberOfTheTableAndNoOther) {
    const struct {
        int number;
        const char* text;
    } table[] = {
        {10004, "Interrupted system call"},
        {10009, "Bad file number"},
        {10013, "Permission denied"},
        {10014, "Bad address"},
        {10022, "Invalid argument"},
        {10024, "Too many open files"},
        {10035, "Operation would block"},
        {10036, "Operation now in progress"},
        {10037, "Operation already in progress"},
        {10038, "Socket operation on non-socket"},
        {10039, "Destination address required"},
        {10040, "Message too long"},
        {10041, "Protocol wrong type for socket"},
        {10042, "Protocol not available"},
        {10043, "Protocol not supported"},
        {10044, "Socket type not supported"},
        {10045, "Operation not supported on socket"},
        {10046, "Protocol family not supported"},
        {10047, "Address family not supported by protocol family"},
        {10048, "Address already in use"},
        {10049, "Can't assign requested address"},
        {10050, "Network is down"},
        {10051, "Network is unreachable"},
        {10052, "Network dropped connection on reset"},
        {10053, "Software caused connection abort"},
        {10054, "Connection reset by peer"},
        {10055, "No buffer space available"},
        {10056, "Socket is already connected"},
        {10057, "Socket is not connected"},
        {10058, "Can't send after socket shutdown"},
        {10059, "Too many references: can't splice"},
        {10060, "Connection timed out"},
        {10061, "Connection refused"},
        {10062, "Too many levels of symbolic links"},
        {10063, "File name too long"},
        {10064, "Host is down"},
        {10065, "No route to host"},
        {10066, "Directory not empty"},
        {10067, "Too many processes"},
        {10068, "Too many users"},
        {10069, "Disc quota exceeded"},
        {10070, "Stale NFS file handle"},
        {10071, "Too many levels of remote in path"},
        {10091, "Network sub-system is unusable"},
        {10092, "WinSock DLL cannot support this application"},
        {10093, "WinSock not initialized"},
        {11001, "Host not found"},
        {11002, "Non-authoritative host not found"},
        {11003, "Non-recoverable error"},
        {11004, "No Data"},
        // Not in the table:
        {0, "Not a WinSock error"},
        {-1, "Not a WinSock error"},
        {10000, "Not a WinSock error"},
        {10001, "Not a WinSock error"},
        {10072, "Not a WinSock error"},
        {10090, "Not a WinSock error"},
        {11000, "Not a WinSock error"},
        {11005, "Not a WinSock error"},
        {12005, "Not a WinSock error"},
    };
    for (const auto& row : table) EXPECT_EQ(WinsockErrorText(row.number), row.text) << row.number;
}

TEST(WinsockError, SystemErrorsMapOntoTheirWinsockNumbers) {
    const struct {
        int posix;
        int number;
    } table[] = {
        {0, 0},
        {ECONNREFUSED, 10061},
        {ETIMEDOUT, 10060},
        {EADDRINUSE, 10048},
        {EWOULDBLOCK, 10035},
        {EAGAIN, 10035},
        {EINPROGRESS, 10036},
        {ECONNRESET, 10054},
        {ENOTCONN, 10057},
        {EPIPE, 10058},
        {EBADF, 10038},
        {ENOTSOCK, 10038},
        {EINTR, 10004},
        {EINVAL, 10022},
        {EMFILE, 10024},
        {EHOSTUNREACH, 10065},
        {ENETUNREACH, 10051},
        {EADDRNOTAVAIL, 10049},
        {EACCES, 10013},
        {EMSGSIZE, 10040},
        {EIO, kUnmappedErrnoBase + EIO},  // no counterpart: keeps the errno, text "Not a WinSock error"
    };
    for (const auto& row : table) EXPECT_EQ(WinsockError(row.posix), row.number) << row.posix;
    EXPECT_EQ(WinsockErrorText(WinsockError(EIO)), "Not a WinSock error");
}

TEST(WinsockError, ResolverFailuresMapOntoTheHostErrors) {
    EXPECT_EQ(WinsockResolverError(0), 0);
    EXPECT_EQ(WinsockResolverError(EAI_NONAME), 11001);
    EXPECT_EQ(WinsockResolverError(EAI_AGAIN), 11002);
    EXPECT_EQ(WinsockResolverError(EAI_FAIL), 11003);
}

TEST(WSAGetLastError, IsKeptPerThread) {
    WSASetLastError(10061);
    int other = -1;
    std::thread([&] { other = WSAGetLastError(); }).join();
    EXPECT_EQ(WSAGetLastError(), 10061);
    EXPECT_EQ(other, 0);
    errno = ETIMEDOUT;
    EXPECT_EQ(WSASetLastErrorFromErrno(), 10060);
    EXPECT_EQ(WSAGetLastError(), 10060);
}

}  // namespace
}  // namespace vk
