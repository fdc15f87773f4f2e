// One logged line followed by the redraw of the whole main window (what every socket event,
// thread report and handler costs the windowed client), against appending that line to the
// log widget directly, while the log grows to 20000 lines; offscreen, in the same run. Prints
// one line with both times per line and their ratio (target: at most 5; the redraw compares
// the whole log with what is shown, so that a log rewritten anywhere is never shown stale).
#include <QApplication>
#include <QMainWindow>
#include <QPlainTextEdit>

#include <chrono>
#include <cstdio>
#include <string>

#include "client/app/form1.h"
#include "client/ui/window_builder.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int lines = 20000;
    auto line = [](int i) {
        return "2026-12-10_11-15-58.291 have send response : crc=34136995" + std::to_string(i) + "\xC8";
    };

    // Baseline: the log widget alone.
    QPlainTextEdit plain;
    plain.setLineWrapMode(QPlainTextEdit::NoWrap);
    plain.setReadOnly(true);
    auto t0 = Clock::now();
    for (int i = 0; i < lines; ++i) plain.appendPlainText(vk::ui::MemoText(line(i)));
    double base = Seconds(Clock::now() - t0);

    // The front end: the main window's model, one line, every widget redrawn.
    vk::MainForm form;
    vk::ui::Binder binder;
    vk::WindowSet set;
    QWidget* win = vk::ui::BuildWindow(binder, set, set.add(vk::MainWindowControls(form)));
    binder.refresh();
    auto t1 = Clock::now();
    for (int i = 0; i < lines; ++i) {
        form.Memo1.Add(line(i));
        binder.refresh();
    }
    double front = Seconds(Clock::now() - t1);
    delete win;

    std::printf("ui_refresh: %d log lines, widget alone %.2f us/line, line + redraw of the main window %.2f us/line, "
                "ratio %.2f (target <= 5)\n",
                lines, base * 1e6 / lines, front * 1e6 / lines, front / base);
    return 0;
}
