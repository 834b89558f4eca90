// The window's start-up and a session of an operator's (a list, a slider, a box,
// a check box, SAVE, a transfer) on the simulated camera, recorded whole in
// tests/data/window.golden: every adapter call with its virtual time, and every
// message. ZARNIX_GOLDEN=record writes the recording anew.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include <fstream>
#include <sstream>

#include "panel_fixture.h"
#include "tests/folder_fixture.h"

namespace zarnix::test {
namespace {

std::string Digest(const std::vector<std::string>& lines)
{
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::string& line : lines)
        for (unsigned char c : line + "\n")
            hash = (hash ^ c) * 0x100000001b3ull;
    char text[48];
    std::snprintf(text, sizeof text, "%zu/%016llx", lines.size(), static_cast<unsigned long long>(hash));
    return text;
}

class SessionTest : public PanelTest {
protected:
    // The control the operator knows by `name`: its object name, or what a
    // screen reader calls it.
    template <class T>
    T* Control(const char* objectName, const char* spoken)
    {
        for (T* widget : dlg->findChildren<T*>())
            if (widget->objectName() == QLatin1String(objectName) || widget->accessibleName() == QLatin1String(spoken))
                return widget;
        ADD_FAILURE() << "no control " << objectName;
        return nullptr;
    }
    // What went on the bus and to the operator since the last call.
    std::string Take()
    {
        std::vector<std::string> lines = Calls();
        for (const std::string& text : messages.Texts())
            lines.push_back("message " + text);
        bus.ClearLog();
        messages.Clear();
        return Digest(lines);
    }
};

TEST_F(SessionTest, StartUpAndASessionMatchTheirRecording)
{
    // The file by a plain name, as the operator types it: its title line holds the name.
    char pattern[] = "/tmp/zarnix-session-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const auto before = std::filesystem::current_path();
    std::filesystem::current_path(pattern);
    const std::string file = "front.qcs";

    std::ostringstream recorded;
    Start();
    recorded << "start-up " << Take() << "\n";

    auto* list = Control<QComboBox>("shutterModeList", "Shutter mode");
    list->showPopup();
    list->view()->setCurrentIndex(list->view()->model()->index(2, 0));
    QTest::keyClick(list->view(), Qt::Key_Return);
    QCoreApplication::processEvents();
    recorded << "list " << Take() << "\n";

    auto* slider = Control<QSlider>("brightnessSlider", "Brightness");
    slider->setSliderDown(true);
    slider->setSliderPosition(0x90);
    slider->setSliderDown(false);
    recorded << "slider " << Take() << "\n";

    auto* box = Control<QLineEdit>("brightnessBox", "Brightness value");
    box->selectAll();
    QTest::keyClicks(box, "7f");
    recorded << "box " << Take() << "\n";

    QTest::mouseClick(Control<QCheckBox>("vFlipCheck", "V-flip"), Qt::LeftButton);
    recorded << "check " << Take() << "\n";

    QTest::mouseClick(Control<QPushButton>("saveButton", "SAVE"), Qt::LeftButton);
    recorded << "save " << Take() << "\n";

    QTest::keyClicks(Control<QLineEdit>("fileNameBox", "File name"), QString::fromStdString(file));
    QTest::mouseClick(Control<QRadioButton>("cameraToFileRadio", "Camera to File"), Qt::LeftButton);
    QTest::mouseClick(Control<QPushButton>("startButton", "Start"), Qt::LeftButton);
    recorded << "camera-to-file " << Take() << " file=" << Digest({ReadFile(file)}) << "\n";

    std::filesystem::current_path(before);
    std::filesystem::remove_all(pattern);
    const std::string golden = ZARNIX_WINDOW_GOLDEN;
    if (std::getenv("ZARNIX_GOLDEN") && std::string(std::getenv("ZARNIX_GOLDEN")) == "record")
        std::ofstream(golden) << recorded.str();
    else
        EXPECT_EQ(recorded.str(), ReadFile(golden));
}

} // namespace
} // namespace zarnix::test
