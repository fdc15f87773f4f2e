// Message boxes: the texts, buttons, default button and screen position the logic asks for,
// and the answer of the button pressed.
#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <optional>

#include "client/ui/qt_dialogs.h"
#include "qt_env.h"

namespace vk {
namespace {

struct Seen {
    QString title, text;
    QPoint pos;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
};

// Waits for the modal box, notes what it shows, then presses `press` (or Escape when unset).
void AnswerNextBox(Seen& seen, std::optional<QMessageBox::StandardButton> press) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &seen, press] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.pos = box->pos();
        seen.icon = box->icon();
        seen.buttons = box->standardButtons();
        if (box->defaultButton()) seen.defaultButton = box->standardButton(box->defaultButton());
        if (press) box->button(*press)->click();
        else box->reject();  // Escape, or the window's close button
    });
    poll->start(10);
}

struct Case {
    const char* name;
    BoxRequest request;
    std::optional<QMessageBox::StandardButton> press;
    BoxButton answer;
};

TEST(QtDialogs, ShowsTheBoxAsAskedAndReturnsThePressedButton) {
    BoxRequest ready{BoxKind::Information, "WDNplyr", "TED files check done.... ", {BoxButton::Ok}, BoxButton::Ok, 110, 110};
    BoxRequest quit{BoxKind::Confirmation, "Confirm", "Exit now?", {BoxButton::Yes, BoxButton::No}, BoxButton::Yes};
    BoxRequest shutdown{BoxKind::Confirmation, "Confirm", "Shutdown Secure Player ?", {BoxButton::Ok, BoxButton::Cancel},
                        BoxButton::Ok};
    const Case cases[] = {
        {"information at 110,110", ready, QMessageBox::Ok, BoxButton::Ok},
        {"Yes pressed", quit, QMessageBox::Yes, BoxButton::Yes},
        {"No pressed", quit, QMessageBox::No, BoxButton::No},
        {"Escape on Yes/No is No", quit, std::nullopt, BoxButton::No},
        {"Escape on OK/Cancel is Cancel", shutdown, std::nullopt, BoxButton::Cancel},
        {"Escape on OK alone is OK", ready, std::nullopt, BoxButton::Ok},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QtDialogs dialogs;
        int redrawn = 0;
        dialogs.beforeShow = [&] { ++redrawn; };
        Seen seen;
        AnswerNextBox(seen, c.press);
        BoxButton got = dialogs.show(c.request);
        EXPECT_EQ(got, c.answer);
        EXPECT_EQ(redrawn, 1);
        EXPECT_EQ(seen.text.toStdString(), c.request.text);
        EXPECT_EQ(seen.title.toStdString(), c.request.caption);
        QMessageBox::StandardButtons expected;
        for (BoxButton b : c.request.buttons)
            expected |= b == BoxButton::Ok ? QMessageBox::Ok
                        : b == BoxButton::Cancel ? QMessageBox::Cancel
                        : b == BoxButton::Yes ? QMessageBox::Yes
                                              : QMessageBox::No;
        EXPECT_EQ(seen.buttons, expected);
        if (c.request.x >= 0) {
            EXPECT_EQ(seen.pos, QPoint(c.request.x, c.request.y));
        }
    }
}

TEST(QtDialogs, KindSetsTheIconAndTheDefaultButtonIsTheOneAskedFor) {
    BoxRequest r{BoxKind::Confirmation, "c", "t", {BoxButton::Yes, BoxButton::No}, BoxButton::No};
    QtDialogs dialogs;
    Seen seen;
    AnswerNextBox(seen, QMessageBox::Yes);
    dialogs.show(r);
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.defaultButton, QMessageBox::No);

    r = BoxRequest{BoxKind::Error, "c", "Something definitely wrong...", {BoxButton::Ok}, BoxButton::Ok};
    AnswerNextBox(seen, QMessageBox::Ok);
    dialogs.show(r);
    EXPECT_EQ(seen.icon, QMessageBox::Critical);
}

TEST(QtDialogs, EightBitTextsArriveUnchanged) {
    std::string text = "Gr\xFC\xDF" "e \xE9t\xE9";  // Latin-1 bytes, as the program's texts are
    QtDialogs dialogs;
    Seen seen;
    AnswerNextBox(seen, QMessageBox::Ok);
    dialogs.show(BoxRequest{BoxKind::Warning, "w", text, {BoxButton::Ok}, BoxButton::Ok});
    QByteArray back = seen.text.toLatin1();
    EXPECT_EQ(std::string(back.constData(), static_cast<size_t>(back.size())), text);
}

// Qt breaks a plain text only at line feeds and shows a lone carriage return as a blank; the
// program's boxes break their lines with CR (the "NOT yet ready" box) or CR LF.
TEST(QtDialogs, CarriageReturnsBreakTheLinesAsInTheProgramsTexts) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"VK3dSecPlayer is NOT yet ready! \rWhen TED files check is finished this Popup returns\r ( check takes approx. 20 seconds)",
         "VK3dSecPlayer is NOT yet ready! \nWhen TED files check is finished this Popup returns\n ( check takes approx. 20 seconds)"},
        {"VK pref files unlocked, \r\nchange your preferences", "VK pref files unlocked, \nchange your preferences"},
        {"one\ntwo", "one\ntwo"},
    };
    for (const auto& c : cases) {
        QtDialogs dialogs;
        Seen seen;
        AnswerNextBox(seen, QMessageBox::Ok);
        dialogs.show(BoxRequest{BoxKind::Warning, "w", c.text, {BoxButton::Ok}, BoxButton::Ok, 20, 20});
        EXPECT_EQ(seen.text.toStdString(), c.shown);
    }
}

}  // namespace
}  // namespace vk
