// A simulated camera behind a recording adapter, a virtual clock and a message
// recorder: what every bus test starts from. After each test it checks that every
// handle opened was closed exactly once.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/adapters/recording_adapter.h"
#include "link/context.h"
#include "sim/sim_camera.h"
#include "tests/recording_messages.h"

namespace zarnix::test {

struct CBusBench {
    CSimCamera camera;
    CVirtualClock clock;
    CRecordingMessages messages;
    CRecordingAdapter bus{camera, clock};
    CLinkContext context{bus, clock, messages};

    void ExpectHandlesClosed(const std::string& where) const
    {
        EXPECT_TRUE(bus.OpenHandles().empty()) << where << ": handles left open";
        EXPECT_EQ(bus.HandleFaults(), 0u) << where << ": a handle was used or closed without being open";
    }
};

class BusTest : public ::testing::Test, protected CBusBench {
protected:
    void TearDown() override { ExpectHandlesClosed("after the test"); }

    // Every call as "@ms call", in order.
    std::vector<std::string> Calls() const
    {
        std::vector<std::string> lines;
        for (const auto& r : bus.Log())
            lines.push_back("@" + std::to_string(r.time.count() / 1000) + " " + FormatCall(r));
        return lines;
    }

    // One line per transaction, "@ms Kind address bytes =status", after checking
    // that each is IICInit, SetAddress (sends only), one transfer, IICClose on one handle.
    std::vector<std::string> Transactions() const
    {
        std::vector<std::string> lines;
        const auto& log = bus.Log();
        for (std::size_t i = 0; i < log.size();) {
            const auto& init = log[i];
            EXPECT_EQ(init.call, EAdapterCall::Init) << "call " << i;
            EXPECT_EQ(init.speed, kIicSpeed);
            EXPECT_EQ(init.timeout, kIicTimeout);
            std::size_t j = i + 1;
            const bool receive = j < log.size() && log[j].call == EAdapterCall::Receive;
            if (!receive) {
                EXPECT_TRUE(j < log.size() && log[j].call == EAdapterCall::SetAddress) << "call " << j;
                EXPECT_EQ(log[j].address, init.address);
                ++j;
            }
            if (j + 1 >= log.size()) {
                ADD_FAILURE() << "transaction cut short at call " << i;
                break;
            }
            const auto& transfer = log[j];
            const auto& close = log[j + 1];
            EXPECT_EQ(close.call, EAdapterCall::Close) << "call " << j + 1;
            EXPECT_EQ(transfer.handle, init.handle);
            EXPECT_EQ(close.handle, init.handle);
            lines.push_back(Summary(init.address, transfer));
            i = j + 2;
        }
        return lines;
    }

    static std::string Summary(std::uint32_t address, const CAdapterCallRecord& t)
    {
        char text[96];
        const long ms = static_cast<long>(t.time.count() / 1000);
        switch (t.call) {
        case EAdapterCall::SendSub:
            EXPECT_EQ(t.flags, kSendSubFlags);
            EXPECT_EQ(t.stop, kSendSubStop);
            EXPECT_EQ(t.length, 2u);
            std::snprintf(text, sizeof text, "@%ld SendSub %02x %02x %02x %02x =%u", ms, address, t.subAddress,
                          t.data.at(0), t.data.at(1), t.result);
            break;
        case EAdapterCall::Send:
        case EAdapterCall::Receive:
            EXPECT_EQ(t.flags, kTransferFlags);
            EXPECT_EQ(t.length, 1u);
            std::snprintf(text, sizeof text, "@%ld %s %02x %02x =%u", ms,
                          t.call == EAdapterCall::Send ? "Send" : "Receive", address, t.data.at(0), t.result);
            break;
        default:
            ADD_FAILURE() << "not a transfer: " << FormatCall(t);
            return "?";
        }
        return text;
    }

    // Transactions whose transfer matched `kind` ("SendSub", "Send", "Receive").
    std::vector<std::string> Only(const std::string& kind) const
    {
        std::vector<std::string> out;
        for (const auto& line : Transactions())
            if (line.find(" " + kind + " ") != std::string::npos)
                out.push_back(line);
        return out;
    }
};

} // namespace zarnix::test
