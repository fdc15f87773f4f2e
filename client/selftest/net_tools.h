#pragma once
// The self-test's diagnostics: the system's network tools, each run without a shell with its
// output going into a file that the program made for itself in the temporary folder.
#include <set>
#include <string>
#include <vector>

#include "client/net/resolver.h"

namespace vk {

class NetTools {
public:
    virtual ~NetTools() = default;
    // Starts the tool argv[0] with the arguments and returns at once, without waiting for it.
    // Its standard output and errors go into a new private file whose path is returned. When
    // the tool cannot be started no file is left, so a read-back does not find one; "" then.
    virtual std::string Start(const std::vector<std::string>& argv) = 0;
    // Removes a file that Start made, once it has been read.
    virtual void Remove(const std::string& path) = 0;
    // This computer's own IPv4 addresses, dotted.
    virtual std::vector<std::string> OwnAddresses() = 0;
};

// posix_spawn with the output in a mkstemp file of $TMPDIR (or /tmp). Tools are looked up in
// PATH and then in /usr/sbin and /sbin, where a user's PATH may not reach. A file not yet
// removed when this object ends is removed then.
class PosixNetTools final : public NetTools {
public:
    explicit PosixNetTools(NameResolver& resolver = NameResolver::system()) : resolver_(resolver) {}
    ~PosixNetTools() override;
    PosixNetTools(const PosixNetTools&) = delete;
    PosixNetTools& operator=(const PosixNetTools&) = delete;

    std::string Start(const std::vector<std::string>& argv) override;
    void Remove(const std::string& path) override;
    std::vector<std::string> OwnAddresses() override;

    // The full path of a program by name ("" when there is none).
    static std::string FindProgram(const std::string& name);

private:
    NameResolver& resolver_;
    std::set<std::string> files_;  // made and not yet removed
};

}  // namespace vk
