// The binder keeps widgets equal to their models however the models change, and a handler
// that throws neither takes the program down nor leaves the widgets stale.
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <stdexcept>

#include "client/ui/binder.h"
#include "qt_env.h"

namespace vk::ui {
namespace {

QString Joined(const std::vector<std::string>& lines) {
    QString all;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i) all += '\n';
        all += MemoText(lines[i]);
    }
    return all;
}

TEST(Binder, MemoFollowsItsModelThroughAppendsClearsAndRewrites) {
    Memo memo;
    QPlainTextEdit w;
    Binder b;
    b.memo(&w, memo);
    struct Step {
        const char* what;
        std::function<void()> change;
    };
    const Step steps[] = {
        {"first lines", [&] { memo.Add("Listening ......."); memo.Add(" Port=50998"); }},
        {"an entry with CR LF is two rows", [&] { memo.Add("Waiting for contact....\r\n____"); }},
        {"cleared", [&] { memo.Clear(); }},
        {"after a clear", [&] { memo.Add("contact"); }},
        {"an earlier line rewritten", [&] { memo.lines[0] = "changed"; memo.Add("more"); }},
        {"shrunk", [&] { memo.lines.pop_back(); }},
        {"8-bit text", [&] { memo.Add("crc=3413699503\xC8"); }},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        b.refresh();
        EXPECT_EQ(w.toPlainText(), Joined(memo.lines));
    }
    EXPECT_EQ(MemoText("a\r\nb\rc\nd"), QStringLiteral("a\nb\nc\nd"));
    EXPECT_EQ(w.toPlainText().back(), QChar(0xC8));
}

TEST(Binder, AThrowingHandlerIsReportedAndTheWidgetsStillFollow) {
    Label status{"------"};
    Button clear{"Clear"};
    QLabel label;
    QPushButton button;
    Binder b;
    std::vector<std::string> errors;
    b.onError = [&](const std::string& e) { errors.push_back(e); };
    b.label(&label, status);
    b.button(&button, clear, [&] {
        status.caption = "half done";
        status.color = clRed;
        throw std::runtime_error("handler failed");
    });
    button.click();
    ASSERT_EQ(errors, std::vector<std::string>{"handler failed"});
    EXPECT_EQ(label.text(), QStringLiteral("half done"));
    EXPECT_EQ(label.palette().color(QPalette::WindowText), QColor(255, 0, 0));
}

TEST(Binder, ListSelectionGoesToTheModelAndTheModelsSelectionComesBack) {
    ListBox list;
    list.items = {"192.0.2.1", "192.0.2.9"};
    QListWidget w;
    Binder b;
    b.listBox(&w, list);
    b.refresh();
    ASSERT_EQ(w.count(), 2);
    EXPECT_EQ(w.currentRow(), -1);
    w.setCurrentRow(1);  // the user picks an item
    EXPECT_EQ(list.itemIndex, 1);
    list.items = {"192.0.2.9"};
    list.itemIndex = -1;  // the logic removed it
    b.refresh();
    EXPECT_EQ(w.count(), 1);
    EXPECT_EQ(w.currentRow(), -1);
    EXPECT_TRUE(w.selectedItems().isEmpty());
}

}  // namespace
}  // namespace vk::ui
