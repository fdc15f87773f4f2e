#pragma once
// What a test compares of a game folder: every file with its content, and the backup store by
// meaning (the stacks with the content of each kept layer), not by its blob numbers.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "client/patches/backup_store.h"
#include "client/patches/catalogue.h"

namespace vk::test {

inline std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Path below root -> content ("<dir>" for folders); the store's own files are left to StoreView.
inline std::map<std::string, std::string> FolderContents(const std::string& root, bool withStore = false) {
    std::map<std::string, std::string> out;
    for (auto& e : std::filesystem::recursive_directory_iterator(root)) {
        const std::string rel = e.path().string().substr(root.size());
        if (!withStore && rel.find(".vkbackup") != std::string::npos) continue;
        std::string content = e.is_directory() ? std::string("<dir>") : ReadAll(e.path().string());
        if (content.size() > 200) {
            // Large files by size and digest, so a failure message stays readable.
            uint64_t h = 1469598103934665603ull;
            for (unsigned char c : content) h = (h ^ c) * 1099511628211ull;
            content = "<" + std::to_string(content.size()) + " bytes, fnv " + std::to_string(h) + ">";
        }
        out[rel] = content;
    }
    return out;
}

// FNV-1a over every path and content, in path order.
inline uint64_t FolderHash(const std::string& root) {
    uint64_t h = 1469598103934665603ull;
    auto mix = [&](const std::string& s) {
        for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
        h = (h ^ 0xFF) * 1099511628211ull;
    };
    for (const auto& [path, content] : FolderContents(root, true)) {
        mix(path);
        mix(content);
    }
    return h;
}

// The store's stacks with each kept layer's content; "" when the store is empty. Also checks
// that every blob it names exists and that it holds nothing else.
inline std::string StoreView(const std::string& gameRoot, std::string* fault = nullptr) {
    BackupStore store(DataPath(gameRoot));
    if (!store.load() && fault) *fault += "manifest unreadable; ";
    std::string out;
    std::map<std::string, bool> named;
    for (const auto& t : store.targets()) {
        out += t.rel + ":";
        for (const auto& e : t.stack) {
            out += " " + e.owner + "=";
            if (e.state == "-" || e.state == "@") {
                out += e.state;
            } else {
                named[e.state] = true;
                if (!std::filesystem::exists(store.folder() + e.state) && fault) *fault += "blob " + e.state + " missing; ";
                out += "[" + ReadAll(store.folder() + e.state) + "]";
            }
        }
        out += "\n";
    }
    if (std::filesystem::exists(store.folder()))
        for (auto& e : std::filesystem::directory_iterator(store.folder())) {
            const std::string n = e.path().filename().string();
            if (n != "manifest" && !named.count(n) && fault) *fault += "stray " + n + "; ";
        }
    return out;
}

}  // namespace vk::test
