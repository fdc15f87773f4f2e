#include "client/core/list_file.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

namespace vk {

std::vector<std::string> ReadLines(const std::string& osPath) {
    std::vector<std::string> lines;
    std::ifstream in(osPath, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool LoadListFile(const std::string& osPath, SortedList& list) {
    std::ifstream in(osPath, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        list.add(line);
    }
    return !in.bad();
}

bool SaveListFile(const std::string& osPath, const SortedList& list) {
    const std::string temp = osPath + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) return false;
        for (const auto& line : list) out << line << "\r\n";
        out.flush();
        if (!out) {
            out.close();
            ::unlink(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), osPath.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

}  // namespace vk
