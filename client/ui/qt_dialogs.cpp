#include "client/ui/qt_dialogs.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QString>

#include <algorithm>
#include <vector>

namespace vk {

namespace {

QMessageBox::StandardButton ToQt(BoxButton b) {
    switch (b) {
    case BoxButton::Ok: return QMessageBox::Ok;
    case BoxButton::Cancel: return QMessageBox::Cancel;
    case BoxButton::Yes: return QMessageBox::Yes;
    case BoxButton::No: return QMessageBox::No;
    case BoxButton::Abort: return QMessageBox::Abort;
    case BoxButton::Retry: return QMessageBox::Retry;
    case BoxButton::Ignore: return QMessageBox::Ignore;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon IconOf(BoxKind kind) {
    switch (kind) {
    case BoxKind::Information: return QMessageBox::Information;
    case BoxKind::Warning: return QMessageBox::Warning;
    case BoxKind::Error: return QMessageBox::Critical;
    case BoxKind::Confirmation: return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

// The program's texts break their lines with CR or CR LF, as the platform's boxes show them;
// Qt breaks only at LF and would run a CR-broken text into one line.
QString BoxText(const std::string& text) {
    std::string t;
    t.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            t += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            t += text[i];
        }
    }
    return QString::fromLatin1(t.data(), static_cast<qsizetype>(t.size()));
}

}  // namespace

BoxButton QtDialogs::show(const BoxRequest& box) {
    if (answerWithDefaults) return box.defaultButton;
    if (beforeShow) beforeShow();

    QMessageBox mb;
    mb.setIcon(IconOf(box.kind));
    // Texts are the program's 8-bit texts.
    mb.setWindowTitle(QString::fromLatin1(box.caption.data(), static_cast<qsizetype>(box.caption.size())));
    mb.setText(BoxText(box.text));
    mb.setTextFormat(Qt::PlainText);

    std::vector<BoxButton> buttons = box.buttons;
    if (buttons.empty()) buttons.push_back(BoxButton::Ok);
    QMessageBox::StandardButtons set;
    for (BoxButton b : buttons) set |= ToQt(b);
    mb.setStandardButtons(set);
    mb.setDefaultButton(ToQt(box.defaultButton));
    // Escape (or closing the box) answers like the Cancel-like button, else the default.
    BoxButton escape = box.defaultButton;
    for (BoxButton b : {BoxButton::Cancel, BoxButton::No, BoxButton::Abort})
        if (std::find(buttons.begin(), buttons.end(), b) != buttons.end()) {
            escape = b;
            break;
        }
    mb.setEscapeButton(ToQt(escape));
    if (box.x >= 0 && box.y >= 0) mb.move(box.x, box.y);

    mb.exec();

    QAbstractButton* clicked = mb.clickedButton();
    if (clicked) {
        QMessageBox::StandardButton sb = mb.standardButton(clicked);
        for (BoxButton b : buttons)
            if (ToQt(b) == sb) return b;
    }
    return escape;
}

}  // namespace vk
