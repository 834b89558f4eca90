// Closing the window while SAVE, a transfer, Connect or the search runs: the
// question comes between two registers, a yes stops the operation there, and the
// window closes once the operation has ended.
#include <gtest/gtest.h>

#include <QFile>
#include <QLayout>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "panel_fixture.h"

namespace zarnix::test {
namespace {

constexpr int kSave = 1041, kConnect = 1034, kSearch = 1095, kBrowse = 1097, kFileToCamera = 1098,
              kCameraToFile = 1099, kStart = 1101;

constexpr const char* kTransferQuestionStart = "A transfer is running. Stop it and close?";
constexpr const char* kSaveQuestion =
    "The settings are being stored. Stop it and close?\nRegisters not yet stored keep their old values.";

class CloseDuringWorkTest : public PanelTest {
public: // the cases below reach these through the fixture
    using PanelTest::Strings;
    QTemporaryDir dir;
    Strings questions;
    bool answer = true;

    // The window on screen, as the operator sees it; the start-up's traffic forgotten.
    void Show()
    {
        ASSERT_TRUE(dir.isValid());
        StartQuiet();
        dlg->m_confirm = [this](const QString& question) {
            questions.push_back(question.toStdString());
            wholeWhenAsked = RegisterWhole();
            return answer;
        };
        dlg->layout()->activate();
        dlg->show();
        ASSERT_TRUE(dlg->isVisible());
    }
    // The button's own click, wherever the shown window's layout put it.
    void Click(int id) { Button(id)->click(); }
    int Count(const std::string& prefix) const
    {
        const Strings writes = Writes();
        return static_cast<int>(std::count_if(writes.begin(), writes.end(),
                                              [&](const std::string& w) { return w.rfind(prefix, 0) == 0; }));
    }
    // The questions put about closing, leaving out Start's own.
    Strings CloseQuestions() const
    {
        Strings out;
        for (const std::string& q : questions)
            if (q.rfind(kTransferQuestionStart, 0) == 0 || q == kSaveQuestion)
                out.push_back(q);
        return out;
    }
    void ChooseFile(const QString& path)
    {
        dlg->m_chooseFile = [path](bool) { return path; };
        Click(kBrowse);
    }
    // A settings file of the camera as it is, for File to camera; leaves the log clear.
    QString Backup()
    {
        const QString path = dir.filePath("backup.qcs");
        ChooseFile(path);
        Click(kCameraToFile);
        Click(kStart);
        EXPECT_TRUE(QFile::exists(path));
        bus.ClearLog();
        messages.Clear();
        clock = CVirtualClock{};
        return path;
    }

    // Closes the window (as its title bar's button does) once `when` holds, from
    // within the operation's pauses; `refused` tells whether that close was held off.
    void CloseWhen(std::function<bool()> when)
    {
        auto* timer = new QTimer(dlg.get());
        QObject::connect(timer, &QTimer::timeout, dlg.get(), [this, timer, when] {
            if (!when())
                return;
            timer->stop();
            refused = !dlg->close();
        });
        timer->start(0);
    }
    bool refused = false;
    bool wholeWhenAsked = false;

    // No register is half done: the latest transfer on the bus is a data byte or
    // a receive, never an address frame or a read request still waiting for its
    // second half.
    bool RegisterWhole() const
    {
        for (auto it = bus.Log().rbegin(); it != bus.Log().rend(); ++it)
            if (it->call == EAdapterCall::SendSub || it->call == EAdapterCall::Send ||
                it->call == EAdapterCall::Receive)
                return it->call != EAdapterCall::SendSub;
        return true;
    }
};

// What the operation does, what must have gone out when it stopped, and what it says.
struct CStopCase {
    const char* name;
    std::function<void(CloseDuringWorkTest&)> setUp;
    std::function<void(CloseDuringWorkTest&)> run;
    std::function<bool(const CloseDuringWorkTest&)> closeWhen;
    const char* question;
    const char* message;
    std::vector<std::string> sent; // register traffic without values, in order
};

std::string Traffic(const std::string& write)
{
    // "a0:04=80" -> "a0:04", "read a0:04" as it is.
    return write.rfind("read ", 0) == 0 ? write : write.substr(0, write.find('='));
}

TEST_F(CloseDuringWorkTest, AConfirmedCloseStopsAfterTheRegisterUnderWayAndClosesAfterwards)
{
    const CStopCase cases[] = {
        {"file to camera",
         [](CloseDuringWorkTest& t) {
             t.Backup();
             t.Click(kFileToCamera);
         },
         [](CloseDuringWorkTest& t) { t.Click(kStart); },
         [](const CloseDuringWorkTest& t) { return t.Count("a0:") >= 5; },
         "A transfer is running. Stop it and close?\nThe camera keeps what was written so far, uncommitted.",
         "Stopped after writing register a0:04, settings not stored",
         {"a0:00", "a0:01", "a0:02", "a0:03", "a0:04"}},
        {"camera to file",
         [](CloseDuringWorkTest& t) {
             t.ChooseFile(t.dir.filePath("new.qcs"));
             t.Click(kCameraToFile);
         },
         [](CloseDuringWorkTest& t) { t.Click(kStart); },
         [](const CloseDuringWorkTest& t) { return t.Count("read a0:") >= 3; },
         "A transfer is running. Stop it and close?\nNo file is written.",
         "Stopped after reading register a0:02, no file written",
         {"read a0:00", "read a0:01", "read a0:02"}},
        {"save", [](CloseDuringWorkTest&) {}, [](CloseDuringWorkTest& t) { t.Click(kSave); },
         [](const CloseDuringWorkTest& t) { return t.Count("a0:") >= 3; }, kSaveQuestion,
         "Stopped after storing register a0:02, the rest not stored", {"a0:00", "a0:01", "a0:02"}},
    };
    for (const CStopCase& c : cases) {
        SCOPED_TRACE(c.name);
        Show();
        c.setUp(*this);
        questions.clear();
        CloseWhen([&] { return c.closeWhen(*this); });
        c.run(*this);

        EXPECT_TRUE(refused) << "the window went away under the operation";
        EXPECT_EQ(CloseQuestions(), Strings{c.question});
        EXPECT_TRUE(wholeWhenAsked) << "asked between a register's two halves";
        EXPECT_EQ(messages.Texts(), Strings{c.message});
        Strings sent;
        for (const std::string& w : Writes())
            sent.push_back(Traffic(w));
        EXPECT_EQ(sent, c.sent); // each register whole: the one under way got its data byte
        EXPECT_EQ(camera.CommitCount(), 0u);
        EXPECT_FALSE(dlg->isVisible());
        EXPECT_EQ(dlg->result(), QDialog::Rejected);
        EXPECT_FALSE(QFile::exists(dir.filePath("new.qcs")));
    }
}

TEST_F(CloseDuringWorkTest, SaveStoppedForClosingStillKeepsThePauseOfItsLastRegister)
{
    Show();
    CloseWhen([&] { return Count("a0:") >= 1; });
    Click(kSave);
    EXPECT_EQ(Writes().size(), 1u);
    // 10 ms between the frames, then the store's 330 ms before the stop is looked at.
    EXPECT_EQ(clock.Now(), Micros(340 * 1000));
    EXPECT_FALSE(dlg->isVisible());
}

TEST_F(CloseDuringWorkTest, ADeclinedCloseLetsTheOperationFinishAndTheWindowStay)
{
    Show();
    const QString path = Backup();
    // Yes to Start's own question, no to closing.
    dlg->m_confirm = [this](const QString& question) {
        questions.push_back(question.toStdString());
        return !question.startsWith(kTransferQuestionStart);
    };
    Click(kFileToCamera);
    CloseWhen([&] { return Count("a0:") >= 2; });
    Click(kStart);

    EXPECT_TRUE(refused);
    EXPECT_EQ(CloseQuestions().size(), 1u);
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(Count("a0:"), 49); // every Eeprom register of the transfer
    EXPECT_EQ(camera.CommitCount(), 1u);
    EXPECT_TRUE(dlg->isVisible());
    // With nothing running, the window closes at once and asks nothing.
    EXPECT_TRUE(dlg->close());
    EXPECT_FALSE(dlg->isVisible());
    EXPECT_EQ(CloseQuestions().size(), 1u);
    EXPECT_TRUE(QFile::exists(path));
}

TEST_F(CloseDuringWorkTest, ConnectAndSearchCloseTheWindowWhenTheyEndWithoutAQuestion)
{
    struct CCase {
        int button;
        int reads; // read requests the whole operation makes
    };
    for (const CCase c : {CCase{kConnect, 44}, CCase{kSearch, 0}}) {
        SCOPED_TRACE(c.button);
        Show();
        CloseWhen([&] { return !bus.Log().empty(); });
        Click(c.button);
        EXPECT_TRUE(refused);
        EXPECT_TRUE(questions.empty());
        EXPECT_TRUE(messages.Texts().empty());
        EXPECT_EQ(Count("read a1:"), c.reads); // Connect's read-back ran to its end
        EXPECT_FALSE(dlg->isVisible());
    }
}

} // namespace
} // namespace zarnix::test
