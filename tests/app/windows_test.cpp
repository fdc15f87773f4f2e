// Every window of the client through its definition: each control answers `get` in the control
// language, each entry of each event table is reached by the command a user's action stands
// for, and malformed commands are refused without changing anything.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "client/headless/control_language.h"
#include "tests/app/app_harness.h"

namespace vk::test {
namespace {

// All windows created, the terrain check done: the client as a player finds it.
struct Windows : ::testing::Test {
    GameFolder g;
    AppHarness h{g};
    TForm1* app = nullptr;
    std::deque<BoxButton> answers;
    void SetUp() override {
        Installation(g, 27962);
        app = &h.ready();
        app->windows.sync(true);
    }
};

// The command that a user's action on this entry stands for ("" = none reaches it).
std::string CommandFor(const WindowDef& w, const EventDef& e) {
    const std::string form = w.name();
    if (e.component.empty()) {
        switch (e.event) {
        case Event::Show: return "show " + form;
        case Event::Activate: return "activate " + form;
        case Event::Hide: case Event::Close: return "hide " + form;
        case Event::Click: return "click " + form;
        default: return "";
        }
    }
    const ControlDef* c = w.control(e.component);
    if (!c) return "";
    const std::string target = form + "." + c->name;
    switch (e.event) {
    case Event::Click:
        if (c->kind == Kind::ListBox || c->kind == Kind::Grid) return "select " + target + " -1";
        return "click " + target;
    case Event::DblClick: return "dblclick " + target;
    case Event::Change:
        if (c->kind == Kind::ComboBox) return "select " + target + " 0";
        return "set " + target + " x";
    default: return "";
    }
}

TEST_F(Windows, EveryControlOfEveryWindowAnswersGetWithItsKind) {
    ControlLanguage language(app->windows, answers);
    ASSERT_EQ(app->windows.size(), static_cast<size_t>(FormId::Count));
    std::set<std::string> forms;
    for (const WindowDef& w : app->windows) {
        EXPECT_TRUE(forms.insert(w.name()).second) << "two windows named " << w.name();
        const std::string all = language.run("get " + w.name()).completion;
        EXPECT_EQ(all.rfind("= {\"caption\":" + JsonString(w.caption()) + ",\"visible\":", 0), 0u) << all;
        std::set<std::string> names;
        for (const ControlDef& c : w.controls()) {
            SCOPED_TRACE(w.name() + "." + c.name);
            EXPECT_TRUE(names.insert(c.name).second) << "component named twice";
            const std::string got = language.run("get " + w.name() + "." + c.name).completion;
            EXPECT_EQ(got.rfind("= {\"kind\":\"" + std::string(KindName(c.kind)) + "\"", 0), 0u) << got;
            EXPECT_NE(all.find(JsonString(c.name) + ":{\"kind\""), std::string::npos);
        }
        for (const EventDef& e : w.events())
            if (!e.component.empty()) {
                EXPECT_TRUE(w.control(e.component)) << w.name() << ": no " << e.component;
            }
    }
}

TEST_F(Windows, EachEntryOfEachEventTableRunsItsHandlerFromItsCommand) {
    // The handlers are swapped for recorders, so that each entry shows it was reached and
    // nothing of the real client runs.
    std::map<std::string, int> fired;
    for (const WindowDef& cw : app->windows) {
        auto& w = const_cast<WindowDef&>(cw);
        w.onCloseQuery({});
        for (EventDef& e : w.events()) {
            const std::string key = w.name() + "." + e.component + ":" + EventName(e.event);
            e.handler = [&fired, key] { ++fired[key]; };
        }
    }
    ControlLanguage language(app->windows, answers);
    size_t entries = 0;
    for (const WindowDef& w : app->windows) {
        for (const EventDef& e : w.events()) {
            const std::string cmd = CommandFor(w, e);
            if (e.event == Event::Create) continue;  // raised once, by the creation itself
            ++entries;
            const std::string key = w.name() + "." + e.component + ":" + EventName(e.event);
            SCOPED_TRACE(key + " by \"" + cmd + "\"");
            ASSERT_FALSE(cmd.empty()) << "no command reaches this entry";
            if (const ControlDef* c = w.control(e.component))
                std::visit([](auto* m) { m->enabled = true; }, c->model);
            // Show needs a hidden window, Hide and Close a shown one.
            if (e.event == Event::Show) w.visible() = false;
            if (e.event == Event::Hide || e.event == Event::Close) w.visible() = true;
            app->windows.sync(false);
            fired.clear();
            EXPECT_EQ(language.run(cmd).completion, "= ok");
            EXPECT_EQ(fired[key], 1);
        }
    }
    EXPECT_GT(entries, 20u);
}

TEST_F(Windows, ControlsChangeAsTheUsersActionWouldBeforeTheirHandler) {
    ControlLanguage language(app->windows, answers);
    struct Case {
        const char* command;
        std::function<bool()> holds;
    };
    const Case cases[] = {
        {"click Form1.bgcheck", [&] { return !app->Form1.bgcheck.checked && app->state.foregroundChecks; }},
        {"click Form1.bgcheck", [&] { return app->Form1.bgcheck.checked && !app->state.foregroundChecks; }},
        {"click Form1.plower", [&] { return app->Form1.plower.checked && !app->Form1.pidle.checked; }},
        {"select Form1.priolist 3",
         [&] { return app->state.boost == PriorityClass::Idle && app->Form1.priolist.text == "Idle priority"; }},
        {"set blockedIPs.servip 10.9.8.7\\x41", [&] { return app->blockedIPs.servip.text == "10.9.8.7A"; }},
        {"set Form6.hidlist one\\ntwo\\\\", [&] { return app->Form6.hidlist.lines == std::vector<std::string>{"one", "two\\"}; }},
        {"show AboutBox", [&] { return app->AboutBox.visible; }},
        {"click AboutBox.OKButton", [&] { return !app->AboutBox.visible; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        EXPECT_EQ(language.run(c.command).completion, "= ok");
        EXPECT_TRUE(c.holds());
    }
}

TEST_F(Windows, MalformedOrRefusedCommandsAnswerAnErrorAndChangeNothing) {
    ControlLanguage language(app->windows, answers);
    app->Form1.Mlisten.enabled = false;
    const std::string before = language.run("get blockedIPs").completion + language.run("get Form1").completion;
    const std::pair<const char*, const char*> cases[] = {
        {"", "empty command"},
        {"frobnicate Form1.Mlisten", "unknown command: frobnicate"},
        {"click", "click needs FORM or FORM.COMPONENT"},
        {"click Nowhere.Mlisten", "unknown form: Nowhere"},
        {"click Form1.Nothing", "unknown component: Form1.Nothing"},
        {"click Form1.Mlisten", "Form1.Mlisten is disabled"},
        {"click Form1.Memo1", "click does not apply to Form1.Memo1 (a memo)"},
        {"set blockedIPs.servip a\\q", "bad escape in: a\\q"},
        {"set blockedIPs.servip a\\x4", "bad escape in: a\\x4"},
        {"set blockedIPs.servip a\\", "bad escape in: a\\"},
        {"select blockedIPs.srvlist 5", "bad index 5"},
        {"select blockedIPs.srvlist x", "select needs an index"},
        {"select Form1.priolist -2", "bad index -2"},
        {"dblclick Form1.Button4", "dblclick does not apply to Form1.Button4 (a button)"},
        {"set Form1.cfgstatus x", "set does not apply to Form1.cfgstatus (a label)"},
        {"show Form1.Memo1", "show needs a FORM"},
        {"select Form1", "select needs FORM.COMPONENT"},
        {"answer Maybe", "unknown button: Maybe"},
        {"wait soon", "wait needs milliseconds"},
    };
    for (const auto& [command, reason] : cases) {
        SCOPED_TRACE(command);
        EXPECT_EQ(language.run(command).completion, std::string("= error: ") + reason);
    }
    EXPECT_EQ(language.run("get blockedIPs").completion + language.run("get Form1").completion, before);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(language.run("wait 250").waitMs, 250);
}

TEST(ControlLanguageText, EscapesKeepEveryByte) {
    std::string out;
    ASSERT_TRUE(Unescape("a\\\\b\\nc\\rd\\xC8\\x00e", out));
    EXPECT_EQ(out, std::string("a\\b\nc\rd\xC8") + std::string(1, '\0') + "e");
    EXPECT_EQ(JsonString(std::string("q\"\\\xC8\x01", 5)), "\"q\\\"\\\\\\u00c8\\u0001\"");
    EXPECT_EQ(EscapeLine("a\r\nb\\c\x02"), "a\\r\\nb\\\\c\\x02");
}

}  // namespace
}  // namespace vk::test
