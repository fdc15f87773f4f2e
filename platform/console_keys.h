#pragma once
// Console keys as the monitor asks for them: is a key waiting, read one without echo.
// ConsoleKeys puts a terminal into raw mode (restored on destruction) and reads piped input
// without blocking, so keys can be scripted through a pipe; ScriptedKeys releases each key once
// its time has come.
#include <cstdint>
#include <deque>
#include <functional>

namespace vk {

class KeySource {
public:
    virtual ~KeySource() = default;
    virtual bool keyWaiting() = 0;
    virtual int readKey() = 0;   // only after keyWaiting() said true
};

class ConsoleKeys final : public KeySource {
public:
    ConsoleKeys();
    ~ConsoleKeys() override;
    ConsoleKeys(const ConsoleKeys&) = delete;
    ConsoleKeys& operator=(const ConsoleKeys&) = delete;
    bool keyWaiting() override;
    int readKey() override;

private:
    bool raw_ = false;
    bool eof_ = false;
    int pending_ = -1;
    unsigned char saved_[64] = {};  // struct termios, kept opaque here
};

class ScriptedKeys final : public KeySource {
public:
    struct Key {
        int64_t at;   // released when now() >= at
        int key;
    };
    bool keyWaiting() override { return !keys.empty() && (!now || now() >= keys.front().at); }
    int readKey() override {
        int k = keys.front().key;
        keys.pop_front();
        return k;
    }
    std::deque<Key> keys;
    std::function<int64_t()> now;   // empty: every key is ready at once
};

}  // namespace vk
