// The real dialog on the simulated camera: SAVE, the File control group, and the
// window staying alive during long operations.
#include <gtest/gtest.h>

#include <QFile>
#include <QLayout>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>

#include "panel_fixture.h"

namespace zarnix::test {
namespace {

constexpr int kSave = 1041, kConnect = 1034, kSearch = 1095, kMirror = 1017, kBrightnessBox = 1011;
constexpr int kFileBox = 1096, kBrowse = 1097, kFileToCamera = 1098, kCameraToFile = 1099, kStart = 1101,
              kAllRegisters = 1108;

// One SAVE: 33 registers, each 10 ms between its frames and 330 ms after.
constexpr long kSaveMs = 33 * 340;

class FileControlTest : public PanelTest {
protected:
    QTemporaryDir dir;
    Strings questions;
    bool answer = true;

    void Open()
    {
        ASSERT_TRUE(dir.isValid());
        dlg->m_confirm = [this](const QString& question) {
            questions.push_back(question.toStdString());
            return answer;
        };
        // Mouse clicks land where the layout puts each control.
        dlg->layout()->activate();
    }
    void StartQuiet()
    {
        PanelTest::StartQuiet();
        Open();
    }
    QString Path(const char* name) const { return dir.filePath(name); }
    // Names the file through Browse, as the operator picks it.
    void Choose(const QString& path)
    {
        dlg->m_chooseFile = [path](bool) { return path; };
        Button(kBrowse)->click();
    }
    void Click(int id) { QTest::mouseClick(Button(id), Qt::LeftButton); }
    QProgressBar* Bar() const { return dlg->m_progress; }
    int Count(const std::string& prefix) const
    {
        const Strings writes = Writes();
        return static_cast<int>(std::count_if(writes.begin(), writes.end(),
                                              [&](const std::string& w) { return w.rfind(prefix, 0) == 0; }));
    }
    std::string Contents(const QString& path) const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }
    // A backup of the camera as it is now, written through the window; leaves the log clear.
    QString Backup(const char* name, bool all)
    {
        const QString path = Path(name);
        Choose(path);
        Click(kCameraToFile);
        if (Checked(kAllRegisters) != all)
            Click(kAllRegisters);
        Click(kStart);
        EXPECT_TRUE(QFile::exists(path));
        bus.ClearLog();
        messages.Clear();
        questions.clear();
        return path;
    }
};

TEST_F(FileControlTest, SaveStoresTheSettingsCopyInBusOrder)
{
    Live(0x00, 0x05);
    Live(0x30, 0x01);
    StartQuiet();
    dlg->RecordSetting(0x04, 0x80);
    dlg->m_awSettings[0x0C] = 0x55; // between stored registers: never stored
    Click(kSave);

    const Strings writes = WritesFrom();
    ASSERT_EQ(writes.size(), 33u);
    EXPECT_EQ(writes.front(), "@0 a0:00=5");
    EXPECT_EQ(writes[4], "@1360 a0:04=80");
    EXPECT_EQ(writes.back(), "@10880 a0:30=1");
    for (const std::uint8_t i : kStoredIndexes)
        EXPECT_EQ(camera.Peek(0xA0, i), dlg->m_awSettings[i]) << int(i);
    EXPECT_NE(camera.Peek(0xA0, 0x0C), 0x55);
    EXPECT_EQ(clock.Now(), Micros(kSaveMs * 1000));
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(FileControlTest, SaveWithAnUnknownSettingStoresNothingUntilConnect)
{
    const struct {
        const char* what;
        std::function<void(CSimCamera&)> fault;
        const char* text;
    } cases[] = {
        {"no camera at start-up", [](CSimCamera& c) { c.SetPresent(false); },
         "Not saved: Shutter mode unknown; Connect reads camera again"},
        {"read-back request failed", [](CSimCamera& c) { c.FailOn(ESimFrame::ReadRequest, 0xA1, 0x10, kStatusNoAck, 1); },
         "Not saved: Back light compensation mode unknown; Connect reads camera again"},
        {"read-back receive failed", [](CSimCamera& c) { c.FailOn(ESimFrame::Receive, 0xA1, 0x17, kStatusTimeout, 1); },
         "Not saved: Register 30:17 unknown; Connect reads camera again"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        camera = CSimCamera{};
        c.fault(camera);
        StartQuiet();
        Click(kSave);
        EXPECT_TRUE(bus.Log().empty());
        EXPECT_EQ(messages.Texts(), Strings{c.text});

        camera.SetPresent(true);
        if (dlg->m_wCameraAddress == kNoCameraAddress)
            Click(kSearch);
        Click(kConnect);
        bus.ClearLog();
        messages.Clear();
        Click(kSave);
        EXPECT_EQ(Writes().size(), 33u);
        EXPECT_TRUE(messages.Texts().empty());
    }
}

TEST_F(FileControlTest, TypedNamesGetTheExtensionOnce)
{
    StartQuiet();
    const struct {
        const char* typed;
        int erased; // backspaces after typing
        const char* fileName;
    } cases[] = {
        {"front", 0, "front.qcs"},
        {"front.qcs", 0, "front.qcs"},
        {"Front.QCS", 0, "Front.QCS"},
        {"front.qcs.bak", 0, "front.qcs.bak.qcs"},
        {"ab", 2, ""},
        {"   ", 0, ""},
        {".qcs", 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        Box(kFileBox)->clear();
        QTest::keyClicks(Box(kFileBox), c.typed);
        for (int i = 0; i < c.erased; ++i)
            QTest::keyClick(Box(kFileBox), Qt::Key_Backspace);
        EXPECT_EQ(dlg->m_strFileName.toStdString(), c.fileName);
    }
    // No name: Start asks for one and leaves the bus and the bar alone.
    Click(kStart);
    EXPECT_EQ(messages.Texts(), Strings{"Please enter file name!"});
    EXPECT_TRUE(bus.Log().empty());
    EXPECT_TRUE(questions.empty());
    EXPECT_NE(Bar()->maximum(), 254);
}

TEST_F(FileControlTest, BrowseAsksForTheFileOfTheChosenDirection)
{
    StartQuiet();
    std::vector<bool> asked;
    QString chosen = "/data/cam"; // taken as chosen, with or without the extension
    dlg->m_chooseFile = [&](bool cameraToFile) {
        asked.push_back(cameraToFile);
        return chosen;
    };
    Click(kBrowse);
    Click(kCameraToFile);
    chosen.clear(); // cancelled: nothing changes
    Click(kBrowse);
    EXPECT_EQ(asked, (std::vector<bool>{false, true}));
    EXPECT_EQ(Text(kFileBox), "/data/cam");
    EXPECT_EQ(dlg->m_strFileName, "/data/cam");
}

TEST_F(FileControlTest, DirectionAndScopeFollowTheirControls)
{
    dlg = std::make_unique<CMyQuorel_controller_r2_1Dlg>(context);
    EXPECT_TRUE(Checked(kFileToCamera)); // shown from the first moment
    StartQuiet();
    EXPECT_TRUE(Checked(kFileToCamera));
    EXPECT_FALSE(Checked(kCameraToFile));
    Click(kCameraToFile);
    Click(kAllRegisters);
    EXPECT_EQ(dlg->m_bCameraToFile, 1);
    EXPECT_FALSE(Checked(kFileToCamera));
    EXPECT_EQ(dlg->m_bAllRegisters, 1);
    Click(kFileToCamera);
    Click(kAllRegisters);
    EXPECT_EQ(dlg->m_bCameraToFile, 0);
    EXPECT_EQ(dlg->m_bAllRegisters, 0);
    EXPECT_TRUE(bus.Log().empty());
}

TEST_F(FileControlTest, StartAsksBeforeItReplacesSettings)
{
    StartQuiet();
    const QString existing = Backup("existing.qcs", false);
    const std::string before = Contents(existing);
    const QString fresh = Path("fresh.qcs");
    const struct {
        int direction;
        QString file;
        bool answer;
        const char* question; // part of the question; nullptr: none asked
        std::size_t frames;
    } cases[] = {
        {kFileToCamera, existing, false, "into the camera at I2C address 70?", 0},
        {kCameraToFile, existing, false, "already exists", 0},
        {kCameraToFile, existing, true, "already exists", 256},
        {kCameraToFile, fresh, true, nullptr, 256},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.toStdString() + (c.answer ? " yes" : " no"));
        questions.clear();
        bus.ClearLog();
        answer = c.answer;
        Choose(c.file);
        Click(c.direction);
        Click(kStart);
        if (c.question) {
            ASSERT_EQ(questions.size(), 1u);
            EXPECT_NE(questions[0].find(c.file.toStdString()), std::string::npos) << questions[0];
            EXPECT_NE(questions[0].find(c.question), std::string::npos) << questions[0];
        } else {
            EXPECT_TRUE(questions.empty());
        }
        EXPECT_EQ(Writes().size(), c.frames);
        if (!c.answer) {
            EXPECT_EQ(Contents(existing), before);
        }
    }
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(camera.CommitCount(), 0u);
}

TEST_F(FileControlTest, RoundTripThroughAFile)
{
    StartQuiet();
    std::vector<int> shown;
    QObject::connect(Bar(), &QProgressBar::valueChanged, [&](int value) { shown.push_back(value); });
    const QString path = Backup("round.qcs", true);
    // 472 steps on a bar of 1 to 254: once through, then again from 1 up to 218.
    ASSERT_GE(shown.size(), 472u);
    EXPECT_EQ(*std::max_element(shown.begin(), shown.end()), 254);
    const auto top = std::find(shown.begin(), shown.end(), 254);
    ASSERT_NE(top + 1, shown.end());
    EXPECT_EQ(top[1], 1);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), 218), 2);
    EXPECT_EQ(Bar()->value(), 0);

    const std::uint8_t stored = camera.Peek(0xA0, 0x04), isp = camera.Peek(0xE0, 0x10);
    camera.Poke(0xA0, 0x04, stored ^ 0xFF);
    camera.Poke(0xE0, 0x10, isp ^ 0xFF);
    Click(kFileToCamera);
    Click(kStart);
    EXPECT_EQ(questions.size(), 1u);
    EXPECT_EQ(camera.Peek(0xA0, 0x04), stored);
    EXPECT_EQ(camera.Peek(0xE0, 0x10), isp);
    EXPECT_EQ(Writes().back(), "88:13=aa");
    EXPECT_EQ(camera.CommitCount(), 1u);
    EXPECT_EQ(Count("a0:"), 49);
    EXPECT_EQ(Count("e0:"), 255);
    EXPECT_EQ(Bar()->value(), 0);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(FileControlTest, ReadBackMismatchSendsNoCommit)
{
    StartQuiet();
    const QString path = Backup("mismatch.qcs", false);
    // Once the check has begun the camera loses the last Eeprom byte written, as a failing cell would.
    QTimer cell;
    QObject::connect(&cell, &QTimer::timeout, [&] {
        if (Count("read ") > 0) {
            camera.Poke(0xA0, 0x30, camera.Peek(0xA0, 0x30) ^ 0x01);
            cell.stop();
        }
    });
    cell.start(0);
    Click(kFileToCamera);
    Click(kStart);
    EXPECT_EQ(messages.Texts(), Strings{"Error Settings not stored: 1030"});
    EXPECT_EQ(Writes().back(), "read a0:30");
    EXPECT_EQ(camera.CommitCount(), 0u);
    EXPECT_EQ(Bar()->value(), 0);
}

TEST_F(FileControlTest, StopEndsAFileToCameraWithoutCommit)
{
    StartQuiet();
    const QString path = Backup("stop.qcs", true);
    QString caption;
    QTimer::singleShot(0, dlg.get(), [&] {
        caption = Button(kStart)->text();
        Click(kStart); // pressed while the first register is being written
    });
    Click(kFileToCamera);
    Click(kStart);
    EXPECT_EQ(caption, "Stop");
    EXPECT_EQ(messages.Texts(), Strings{"Stopped after writing register a0:00, settings not stored"});
    ASSERT_EQ(Writes().size(), 1u);
    EXPECT_EQ(Writes()[0].rfind("a0:00=", 0), 0u); // its data byte went out too
    EXPECT_EQ(camera.CommitCount(), 0u);
    EXPECT_EQ(Button(kStart)->text(), "Start");
    EXPECT_TRUE(Enabled(kStart));
    EXPECT_EQ(Bar()->value(), 0);
}

TEST_F(FileControlTest, WindowPaintsButTakesNoInputDuringSave)
{
    StartQuiet();
    const bool mirror = Checked(kMirror);
    const QString brightness = Text(kBrightnessBox);
    std::size_t sentWhenFired = 0;
    QTimer::singleShot(0, dlg.get(), [&] {
        sentWhenFired = bus.Log().size();
        Click(kMirror);
        QTest::keyClicks(Box(kBrightnessBox), "7");
        Click(kSave);
    });
    Click(kSave);
    EXPECT_GT(sentWhenFired, 0u);
    EXPECT_LT(sentWhenFired, bus.Log().size());
    EXPECT_EQ(Count("a0:"), 33);
    EXPECT_EQ(Writes().size(), 33u);
    EXPECT_EQ(clock.Now(), Micros(kSaveMs * 1000));
    EXPECT_EQ(Checked(kMirror), mirror);
    EXPECT_EQ(Text(kBrightnessBox), brightness);
    // Afterwards the same click reaches the box again.
    Click(kMirror);
    EXPECT_NE(Checked(kMirror), mirror);
}

TEST_F(FileControlTest, ConnectAndSearchKeepThePainting)
{
    for (const int button : {kConnect, kSearch}) {
        SCOPED_TRACE(button);
        StartQuiet();
        std::size_t sentWhenFired = 0;
        QTimer::singleShot(0, dlg.get(), [&] { sentWhenFired = bus.Log().size(); });
        Click(button);
        EXPECT_GT(sentWhenFired, 0u);
        EXPECT_LT(sentWhenFired, bus.Log().size());
        EXPECT_TRUE(messages.Texts().empty());
    }
}

} // namespace
} // namespace zarnix::test
