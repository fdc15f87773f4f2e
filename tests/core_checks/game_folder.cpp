#include "game_folder.h"

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace vk::test {

GameFolder::GameFolder() {
    char tmpl[] = "/tmp/vkcheckXXXXXX";
    if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    outside_ = std::string(tmpl) + "/";
    root_ = outside_ + "game/";
    fs::create_directories(root_);
    // Something outside the game folder that hostile names could try to reach.
    std::ofstream(outside_ + "secret.txt") << "keep me";
    fs::create_directories(outside_ + "data");
    std::ofstream(outside_ + "data/fmparam3.dat") << "outside";
}

GameFolder::~GameFolder() {
    std::error_code ec;
    fs::permissions(root_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(outside_, ec);
}

std::string GameFolder::osPath(const std::string& name) const {
    std::string p = name;
    for (char& c : p)
        if (c == '\\') c = '/';
    return root_ + p;
}

GameFolder& GameFolder::file(const std::string& name, const std::string& bytes) {
    fs::path p(osPath(name));
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + p.string());
    return *this;
}

GameFolder& GameFolder::folder(const std::string& name) {
    fs::create_directories(osPath(name));
    return *this;
}

bool GameFolder::exists(const std::string& name) const { return fs::exists(osPath(name)); }

std::string GameFolder::read(const std::string& name) const {
    std::ifstream in(osPath(name), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> GameFolder::outsideSnapshot() const {
    std::vector<std::string> out;
    for (auto& e : fs::recursive_directory_iterator(outside_)) {
        std::string p = e.path().string();
        if (p.rfind(root_.substr(0, root_.size() - 1), 0) == 0) continue;
        out.push_back(p + (e.is_regular_file() ? "=" + std::to_string(e.file_size()) : "/"));
    }
    std::sort(out.begin(), out.end());
    return out;
}

namespace {

void Put32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Append32(std::string& s, uint32_t v) {
    s.append(4, '\0');
    Put32(s, s.size() - 4, v);
}

}  // namespace

std::string MakeArchive(const std::vector<Member>& members) {
    std::string names;
    std::vector<uint32_t> nameOffsets;
    for (const auto& m : members) {
        nameOffsets.push_back(static_cast<uint32_t>(names.size()));
        names += m.name;
        names += '\0';
    }
    std::string a = "VOLF";
    Append32(a, 0);
    a += "VHDR";
    Append32(a, 0);
    a += "VNAM";
    Append32(a, static_cast<uint32_t>(4 + names.size()));  // S: the length word and the block
    Append32(a, static_cast<uint32_t>(names.size()));      // L
    a += names;
    a += "VDIR";
    const size_t dirSize = (members.size() + 1) * 14;
    Append32(a, static_cast<uint32_t>(dirSize));
    const size_t dirAt = a.size();
    a.append(dirSize, '\0');
    Put32(a, dirAt + members.size() * 14, 0xFFFFFFFFu);
    for (size_t i = 0; i < members.size(); ++i) {
        const size_t e = dirAt + i * 14;
        Put32(a, e, nameOffsets[i]);
        Put32(a, e + 4, static_cast<uint32_t>(a.size()));
        a[e + 13] = static_cast<char>(members[i].flag);
        a += "VBLK";
        // The high byte of a size word does not count; set it to show that.
        Append32(a, static_cast<uint32_t>(members[i].data.size()) | 0x5A000000u);
        a += members[i].data;
    }
    return a;
}

}  // namespace vk::test
