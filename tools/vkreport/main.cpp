// vkreport VKST.csv [-o report.html]: one HTML page per run of the event log. With several runs
// the pages are report-1.html, report-2.html ... beside the name given.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "tools/vkreport/report.h"

namespace {

int usage() {
    std::fprintf(stderr, "Usage: vkreport VKST.csv [-o report.html]\n");
    return 2;
}

std::string pageName(const std::string& out, int run, size_t runs) {
    if (runs == 1) return out;
    size_t dot = out.rfind('.');
    size_t slash = out.rfind('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) dot = out.size();
    return out.substr(0, dot) + "-" + std::to_string(run) + out.substr(dot);
}

}  // namespace

int main(int argc, char** argv) {
    std::string in, out = "report.html";
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "-o" && i + 1 < argc)
            out = argv[++i];
        else if (!a.empty() && a[0] != '-' && in.empty())
            in = a;
        else
            return usage();
    }
    if (in.empty()) return usage();
    std::ifstream f(in, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "vkreport: cannot read %s\n", in.c_str());
        return 1;
    }
    std::stringstream text;
    text << f.rdbuf();
    const vkreport::Log log = vkreport::parseLog(text.str());
    for (const std::string& w : log.warnings) std::fprintf(stderr, "vkreport: %s: %s\n", in.c_str(), w.c_str());
    if (log.runs.empty()) {
        std::fprintf(stderr, "vkreport: %s holds no run of VKST\n", in.c_str());
        return 1;
    }
    for (const vkreport::Run& run : log.runs) {
        const std::string name = pageName(out, run.number, log.runs.size());
        // Through a temporary file, so that a failed write leaves no half page behind.
        const std::string tmp = name + ".tmp";
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        o << vkreport::renderHtml(run, in);
        o.close();
        if (!o || std::rename(tmp.c_str(), name.c_str()) != 0) {
            std::remove(tmp.c_str());
            std::fprintf(stderr, "vkreport: cannot write %s\n", name.c_str());
            return 1;
        }
        std::printf("vkreport: run %d (%s %s, %zu players, %lld s) -> %s\n", run.number,
                    run.date.empty() ? "undated" : run.date.c_str(), run.startTime.c_str(), run.players.size(),
                    static_cast<long long>(run.length), name.c_str());
    }
    return 0;
}
