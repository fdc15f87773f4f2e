// File names from the server that reach outside the game folder are refused: nothing outside
// is checked, read, created or deleted, and no checksum of an outside file goes back.
#include <gtest/gtest.h>

#include <map>

#include "harness.h"

namespace vk::test {
namespace {

// Every file and folder under root except the game folder, with its content.
std::map<std::string, std::string> Outside(const GameFolder& g) {
    std::map<std::string, std::string> m;
    const fs::path game = fs::path(g.path()).parent_path();
    for (auto it = fs::recursive_directory_iterator(g.root()); it != fs::recursive_directory_iterator(); ++it) {
        if (it->path() == game) {
            it.disable_recursion_pending();
            continue;
        }
        std::string content = "<dir>";
        if (it->is_regular_file()) {
            std::ifstream in(it->path(), std::ios::binary);
            std::ostringstream ss;
            ss << in.rdbuf();
            content = ss.str();
        }
        m[it->path().string()] = content;
    }
    return m;
}

std::string Backslashed(std::string s) {
    for (char& c : s)
        if (c == '/') c = '\\';
    return s;
}

TEST(Traversal, ServerNamesOutsideTheGameFolderTouchNothing) {
    GameFolder g;
    g.file("data\\fmparam3.dat", "inside").file("plyr-cfg.txt", "last check\r\n");
    g.outside("outside.txt", "SECRET-LINE\r\n").outside("made.id", "keep me").outside("other\\secret.dat", "x");
    const std::string abs = g.root() + "/outside.txt";
    const std::string absFolder = g.root() + "/other/";
    const auto before = Outside(g);

    std::vector<std::string> names = {"..\\outside.txt", "../outside.txt", "data\\..\\..\\outside.txt",
                                      "data/../../outside.txt", abs, Backslashed(abs), "C:\\outside.txt",
                                      "c:outside.txt", "..\\made.id", "\\..\\outside.txt"};
    std::vector<std::string> requests;
    for (const std::string& n : names) {
        requests.push_back("check=" + n + "=data\\|-*.dat|");  // the log name is deleted and written
        requests.push_back("id?" + n + "|data\\fmparam3.dat");  // the identity file is created or read
        requests.push_back("id?inside.id|" + n);               // the checksummed file
        requests.push_back("ecrc?" + n);
        requests.push_back("fmparm?" + n);
    }
    for (const std::string& folders : {std::string("..\\|"), std::string("../|"), Backslashed(absFolder) + "|",
                                       absFolder + "|", std::string("C:\\|"), std::string("data\\..\\..\\|")}) {
        requests.push_back("check=plyr-cfg.txt=" + folders + "-*.dat|*.txt|");
    }
    for (const std::string& patterns : {std::string("..\\*.txt|"), std::string("..\\other\\*.dat|"),
                                        std::string("!..\\outside.txt|"), std::string("C:\\*.txt|")}) {
        requests.push_back("check=plyr-cfg.txt=.\\|-" + patterns);
    }

    for (const std::string& r : requests) {
        SCOPED_TRACE(r);
        Harness h(g.path());
        h.sockets.queue(T(r));
        h.conv->Sockets1DataAvailable(7);
        EXPECT_TRUE(h.sockets.sent.empty());
        for (const auto& l : h.main.Memo1.lines) EXPECT_EQ(l.find("SECRET"), std::string::npos);
        EXPECT_FALSE(g.exists("inside.id"));
        EXPECT_EQ(Outside(g), before);
    }
    // The refused checks wrote no log files, not even inside.
    EXPECT_FALSE(g.exists("log-plyr-cfg.txt"));
}

TEST(Traversal, RefusalIsLogged) {
    GameFolder g;
    Harness h(g.path());
    EXPECT_EQ(h.conv->ParseRequest("ecrc?..\\x.dat"), "");
    EXPECT_TRUE(h.conv->handled());
    EXPECT_EQ(h.main.Memo1.lines.back(), "==> Refused, names a file outside the game folder: ecrc?..\\x.dat");
}

TEST(Traversal, NamesInsideStillWork) {
    GameFolder g;
    g.file("data\\sub\\f.dat", "abc");
    Harness h(g.path());
    // ".." inside a name component is no traversal.
    EXPECT_NE(h.conv->ParseRequest("fmparm?data\\sub\\f.dat"), "");
    EXPECT_NE(h.conv->ParseRequest("id?my..id|data\\sub\\f.dat"), "");
    EXPECT_TRUE(g.exists("my..id"));
}

}  // namespace
}  // namespace vk::test
