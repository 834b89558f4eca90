// A vendor adapter library loaded at run time: the calls reach it unchanged, and a
// library that cannot serve is refused before any bus traffic.
#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "camera/camera_control.h"
#include "link/adapters/library_adapter.h"
#include "link/iic_link.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;

class LibraryAdapterTest : public ::testing::Test {
protected:
    // ctest runs tests side by side: each its own log.
    std::string logPath = ::testing::TempDir() + "zarnix_test_adapter_" + std::to_string(getpid()) + ".log";
    CVirtualClock clock;
    CRecordingMessages messages;

    void SetUp() override
    {
        std::remove(logPath.c_str());
        setenv("ZARNIX_TEST_ADAPTER_LOG", logPath.c_str(), 1);
        unsetenv("ZARNIX_TEST_ADAPTER_STATUS");
    }
    void TearDown() override
    {
        unsetenv("ZARNIX_TEST_ADAPTER_LOG");
        unsetenv("ZARNIX_TEST_ADAPTER_STATUS");
        std::remove(logPath.c_str());
    }
    Strings LoggedCalls() const
    {
        Strings lines;
        std::ifstream in(logPath);
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    std::unique_ptr<CLibraryAdapter> Load(const char* path = ZARNIX_TEST_ADAPTER)
    {
        std::string error;
        auto adapter = CLibraryAdapter::Load(path, error);
        EXPECT_TRUE(adapter) << error;
        return adapter;
    }
};

TEST_F(LibraryAdapterTest, TheLinkCallsTheLibraryWithItsConstants)
{
    auto adapter = Load();
    ASSERT_TRUE(adapter);
    CLinkContext context{*adapter, clock, messages};
    CIicLink link(context);
    link.SendCommand(0x70, 0x01, 0xA1, 0x10);
    link.ReceiveByte(0x71);
    link.SendCommand(0x70, 0x00, 0x30, 0x04);
    link.SendByte(0x70, 0x5E);
    const Strings calls = LoggedCalls();
    ASSERT_EQ(calls.size(), 15u);
    // Handles are the library's own; compare everything else.
    auto withoutHandle = [](std::string line) {
        const auto arrow = line.find(" -> ");
        if (arrow != std::string::npos)
            line.erase(arrow);
        const auto first = line.find(' ');
        const auto second = line.find(' ', first + 1);
        if (line.rfind("IICInit", 0) == 0)
            return line;
        return line.substr(0, first) + (second == std::string::npos ? "" : line.substr(second));
    };
    Strings shapes;
    for (const auto& line : calls)
        shapes.push_back(withoutHandle(line));
    EXPECT_EQ(shapes, (Strings{"IICInit 0x70 20000 1000", "SetAddress 0x70", "SendSub 1 0x1 [a1 10] 2 0", "IICClose",
                               "IICInit 0x71 20000 1000", "Receive [00] 0 1", "IICClose",
                               "IICInit 0x70 20000 1000", "SetAddress 0x70", "SendSub 1 0 [30 04] 2 0", "IICClose",
                               "IICInit 0x70 20000 1000", "SetAddress 0x70", "Send [5e] 0 1", "IICClose"}));
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(LibraryAdapterTest, StatusesPassThroughAndOnlyTheLowBitsCount)
{
    auto adapter = Load();
    ASSERT_TRUE(adapter);
    CLinkContext context{*adapter, clock, messages};
    const struct {
        const char* raw;
        Strings texts;
    } cases[] = {
        {"0x10000", {}},
        {"5", {"not a correct acknowledge recieved"}},
        {"0x10005", {"not a correct acknowledge recieved"}},
        {"0xffff0021", {"USB_DATA_OVERFLOW"}},
        {"0x22", {" error"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.raw);
        setenv("ZARNIX_TEST_ADAPTER_STATUS", c.raw, 1);
        messages.Clear();
        CIicLink(context).SendCommand(0x70, 0x00, 0x30, 0x04);
        EXPECT_EQ(messages.Texts(), c.texts);
    }
}

TEST_F(LibraryAdapterTest, FindsAndReadsTheCameraBehindTheLibrary)
{
    auto adapter = Load();
    ASSERT_TRUE(adapter);
    CLinkContext context{*adapter, clock, messages};
    CCameraControl camera(context);
    camera.m_wAddress = camera.SearchAddress();
    EXPECT_EQ(camera.m_wAddress, 0x70);
    EXPECT_TRUE(camera.ReadSettings(30));
    EXPECT_TRUE(camera.m_abRead[0x04]);
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(LibraryAdapterTest, ALibraryThatCannotServeIsRefusedByName)
{
    const struct {
        std::string path;
        Strings says;
    } cases[] = {
        {ZARNIX_TEST_ADAPTER_INCOMPLETE, {ZARNIX_TEST_ADAPTER_INCOMPLETE, "does not export Receive"}},
        {"/nonexistent/libadapter.so", {"/nonexistent/libadapter.so", "Could not load"}},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(CLibraryAdapter::Load(c.path, error), nullptr);
        for (const auto& part : c.says)
            EXPECT_NE(error.find(part), std::string::npos) << error;
    }
    EXPECT_TRUE(LoggedCalls().empty()); // refused before any call
}

} // namespace
} // namespace zarnix::test
