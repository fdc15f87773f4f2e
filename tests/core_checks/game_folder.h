#pragma once
// Fixture game folders in a temporary directory: GameFolder().file("data\\fmparam3.dat", bytes).
// The game folder is a child of the temporary directory, so tests can check that nothing
// outside it changed.
#include <cstdint>
#include <string>
#include <vector>

namespace vk::test {

class GameFolder {
public:
    GameFolder();
    ~GameFolder();
    GameFolder(const GameFolder&) = delete;
    GameFolder& operator=(const GameFolder&) = delete;

    // Creates the file (and its folders); name uses '\' as the game does.
    GameFolder& file(const std::string& name, const std::string& bytes);
    GameFolder& folder(const std::string& name);
    const std::string& root() const { return root_; }      // ends in '/'
    const std::string& outside() const { return outside_; } // the folder that holds root, ends in '/'
    std::string osPath(const std::string& name) const;
    bool exists(const std::string& name) const;
    std::string read(const std::string& name) const;
    // Every path below outside() except the game folder, with sizes: a snapshot to compare.
    std::vector<std::string> outsideSnapshot() const;

private:
    std::string outside_;
    std::string root_;
};

struct Member {
    std::string name;
    std::string data;
    uint8_t flag = 1;
};

// An archive (volume) file in the game's layout holding the members in this order.
std::string MakeArchive(const std::vector<Member>& members);

}  // namespace vk::test
