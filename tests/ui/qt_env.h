#pragma once
// One QApplication for a test program, on the offscreen platform unless the test run chose
// another (the screenshot runs under Xvfb), and a loop helper that serves Qt's events.
#include <QApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <functional>

namespace vk::test {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vk-ui-test";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
        app_->setQuitOnLastWindowClosed(false);
    }
    void TearDown() override {
        delete app_;
        app_ = nullptr;
    }

private:
    QApplication* app_ = nullptr;
};

// Serves Qt's events until done() holds or timeoutMs have passed; returns done().
inline bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs) return done();
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

inline void Settle(int ms = 100) { RunUntil([] { return false; }, ms); }

}  // namespace vk::test
