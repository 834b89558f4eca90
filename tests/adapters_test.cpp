// A vendor adapter library loaded at run time. The i2c-dev backend is tested on
// emulated buses (i2c_dev_test.cpp).
#include <gtest/gtest.h>

#include "link/adapters/library_adapter.h"
#include "link/iic_link.h"
#include "tests/recording_messages.h"

namespace zarnix::test {
namespace {

using Strings = std::vector<std::string>;

class AdapterTest : public ::testing::Test {
protected:
    CVirtualClock clock;
    CRecordingMessages messages;
};

TEST_F(AdapterTest, LibraryLoadsAndPassesCallsThrough)
{
    std::string error;
    const auto adapter = CLibraryAdapter::Load(ZARNIX_TEST_ADAPTER, error);
    ASSERT_TRUE(adapter) << error;
    CLinkContext context{*adapter, clock, messages};
    CIicLink link(context); // the library's own simulated camera answers
    EXPECT_FALSE(link.WriteFrameChecked(0x70, 0x30, 0x04, 0x5E).Failed());
    EXPECT_EQ(link.ReadFrame(0x70, 0xA1, 0x04).value, 0x5E); // 0xA1 reads back bank 0x30
    ::setenv("ZARNIX_TEST_ADAPTER_STATUS", "0xffff0021", 1); // the library's status, as it returns it
    link.SendByte(0x70, 0x5E);
    ::unsetenv("ZARNIX_TEST_ADAPTER_STATUS");
    EXPECT_EQ(messages.Texts(), Strings{"USB_DATA_OVERFLOW"}); // 0x21: only the low 16 bits count
    for (const auto& [path, says] : {std::pair{ZARNIX_TEST_ADAPTER_INCOMPLETE, "does not export Receive"},
                                     {"/nonexistent/libadapter.so", "Could not load"}}) {
        EXPECT_EQ(CLibraryAdapter::Load(path, error), nullptr);
        EXPECT_NE(error.find(path), std::string::npos) << error;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
}

} // namespace
} // namespace zarnix::test
