// The window's operations with one bus fault at each of their transactions in
// turn, and separately with the camera gone from that transaction on: start-up,
// SAVE (after a start-up that failed, and failing itself) and the direct panel's
// read and write. Each run is held against what the link's rules say the operator
// must see, with every handle closed and the window working again once the fault
// is gone.
#include <gtest/gtest.h>

#include <cstdio>

#include "panel_fixture.h"
#include "tests/fault_model.h"

namespace zarnix::test {
namespace {

constexpr int kAddressBox = 1092, kSearchButton = 1095, kConnectButton = 1034, kSaveButton = 1041;
constexpr int kDataBox = 1105, kDirectWrite = 1107, kDirectRead = 1113;

class PanelFaultSweep : public PanelTest {
protected:
    // Runs `body` for every transaction of `total` in both modes; stops at the
    // first run that broke a rule, so one fault is reported once.
    void Sweep(unsigned total, const std::function<void(const CFault&)>& body)
    {
        for (EFaultMode mode : {EFaultMode::Fail, EFaultMode::Vanish})
            for (unsigned at = 1; at <= total; ++at) {
                ++injected;
                body(CFault{at, mode});
                if (HasFailure())
                    return;
            }
    }
    void TearDown() override
    {
        RecordProperty("injected_faults", static_cast<int>(injected));
        std::printf("injected faults: %u\n", injected);
        PanelTest::TearDown();
    }

    void ExpectRules(const CExpected& expected, const std::string& where)
    {
        EXPECT_EQ(messages.Texts(), expected.messages) << where;
        EXPECT_EQ(CountCalls(bus, EAdapterCall::Init), expected.transactions) << where;
        EXPECT_EQ(CountCalls(bus, EAdapterCall::Init), CountCalls(bus, EAdapterCall::Close)) << where;
        EXPECT_TRUE(bus.OpenHandles().empty()) << where << ": handles left open";
        EXPECT_EQ(bus.HandleFaults(), 0u) << where;
    }
    // The fault is gone; what follows starts with a clean log.
    void Restart()
    {
        Disarm(camera);
        bus.ClearLog();
        messages.Clear();
    }
    void Click(int id) { Button(id)->click(); }
    std::string Shown(int box) const { return Text(box).toStdString(); }
    static std::string HexText(unsigned value) { return RegisterText("%x", value, 0); }

    // Stored settings unlike the live ones, so that a register stored shows.
    void SpoilStoredSettings()
    {
        for (std::uint8_t i : StoreOrder())
            camera.Poke(kBankEeprom, i, static_cast<std::uint8_t>(camera.Peek(kBankLive, i) ^ 0x5A));
    }
    bool Stored(std::uint8_t i) const { return camera.Peek(kBankEeprom, i) == camera.Peek(kBankLive, i); }

    unsigned injected = 0;
};

// What SAVE names when it refuses: the setting of the first stored register that
// the read-back did not bring in.
std::string NotSavedText(std::uint8_t index)
{
    std::string name;
    for (const CSetCommand& command : kSetCommands)
        if (command.index == index) {
            name = command.setting;
            break;
        }
    if (name.empty())
        name = RegisterText("Register %02x:%02x", kBankLive, index);
    return "Not saved: " + name + " unknown; Connect reads camera again";
}

TEST_F(PanelFaultSweep, StartUpAndTheSaveAfterIt)
{
    // Start-up: the search, the read-back, the refresh's two field and one slot
    // writes after ShowPixelSlot's field, and the direct panel's read of a0:04.
    const auto expectStartUp = [](CExpected& e) {
        const std::uint16_t address = e.Search();
        const auto readBack = e.ReadSettings(address);
        for (int w = 0; w < 4; ++w)
            e.Write(address);
        const auto direct = e.Read(address);
        return std::make_tuple(address, readBack, direct);
    };
    CExpected clean(CFault{});
    expectStartUp(clean);
    ASSERT_EQ(clean.transactions, 100u);
    const auto order = ReadBackOrder();

    Sweep(clean.transactions, [&](const CFault& fault) {
        const std::string where = Describe(fault) + " of the start-up";
        Restart();
        SpoilStoredSettings();
        Arm(camera, fault);
        Start();
        CExpected expected(fault);
        const auto [address, readBack, direct] = expectStartUp(expected);
        ExpectRules(expected, where);
        EXPECT_EQ(Shown(kAddressBox), address == 0x70 ? "70" : "fc") << where;
        // A failed request reads as 1, a failed receive as the 0 nothing left.
        const std::string data = direct == CExpected::ERead::RequestFailed   ? "1"
                                 : direct == CExpected::ERead::ReceiveFailed ? "0"
                                                                             : HexText(camera.Peek(kBankEeprom, 0x04));
        EXPECT_EQ(Shown(kDataBox), data) << where;

        // SAVE after it: refused while a stored register is unknown, and then
        // nothing at all goes on the bus.
        Restart();
        Click(kSaveButton);
        std::uint8_t unknown = 0xFF;
        if (address != 0x70)
            unknown = 0x00;
        else if (!readBack.complete && order[readBack.failedRead] < kStoreSettingsEnd)
            unknown = order[readBack.failedRead];
        if (unknown != 0xFF) {
            EXPECT_EQ(messages.Texts(), Strings{NotSavedText(unknown)}) << where;
            EXPECT_EQ(CountCalls(bus, EAdapterCall::Init), 0u) << where << ": SAVE went on the bus";
            for (std::uint8_t i : StoreOrder())
                EXPECT_FALSE(Stored(i)) << where << ", stored register " << int(i);
        } else {
            EXPECT_EQ(messages.Texts(), Strings{}) << where;
            EXPECT_EQ(CountCalls(bus, EAdapterCall::Init), 66u) << where;
            for (std::uint8_t i : StoreOrder())
                EXPECT_TRUE(Stored(i)) << where << ", stored register " << int(i);
        }

        // The operator's way back: search again where none was found, then Connect.
        Restart();
        SpoilStoredSettings();
        if (address != 0x70)
            Click(kSearchButton);
        Click(kConnectButton);
        Click(kSaveButton);
        EXPECT_EQ(messages.Texts(), Strings{}) << where;
        EXPECT_EQ(Shown(kAddressBox), "70") << where;
        for (std::uint8_t i : StoreOrder())
            EXPECT_TRUE(Stored(i)) << where << ", stored register " << int(i);
    });
}

TEST_F(PanelFaultSweep, SaveItself)
{
    StartQuiet();
    CExpected clean(CFault{});
    clean.StoreSettings(0x70);
    ASSERT_EQ(clean.transactions, 66u);
    const auto order = StoreOrder();
    Sweep(clean.transactions, [&](const CFault& fault) {
        const std::string where = Describe(fault) + " of SAVE";
        Restart();
        SpoilStoredSettings();
        Arm(camera, fault);
        Click(kSaveButton);
        CExpected expected(fault);
        expected.StoreSettings(0x70);
        ExpectRules(expected, where);
        for (std::size_t s = 0; s < order.size(); ++s)
            EXPECT_EQ(Stored(order[s]), !StoreMissed(fault, 0, s)) << where << ", stored register " << int(order[s]);

        Restart();
        Click(kSaveButton);
        EXPECT_EQ(messages.Texts(), Strings{}) << where;
        for (std::uint8_t i : order)
            EXPECT_TRUE(Stored(i)) << where << ", stored register " << int(i);
    });
}

TEST_F(PanelFaultSweep, DirectReadAndWrite)
{
    StartQuiet(); // the panel shows a0:04, which holds 80
    camera.Poke(kBankEeprom, 0x04, 0x33);
    Sweep(2, [&](const CFault& fault) {
        const std::string where = Describe(fault) + " of the direct read";
        Restart();
        Arm(camera, fault);
        Click(kDirectRead);
        CExpected expected(fault);
        const auto read = expected.Read(0x70);
        ExpectRules(expected, where);
        EXPECT_EQ(Shown(kDataBox), read == CExpected::ERead::RequestFailed ? "1" : "0") << where;

        Restart();
        Click(kDirectRead);
        EXPECT_EQ(Shown(kDataBox), "33") << where;
        EXPECT_EQ(messages.Texts(), Strings{}) << where;
    });
    Sweep(2, [&](const CFault& fault) {
        const std::string where = Describe(fault) + " of the direct write";
        Restart();
        camera.Poke(kBankEeprom, 0x04, 0x11);
        Arm(camera, fault);
        Click(kDirectWrite); // writes the 33 just read
        CExpected expected(fault);
        expected.Write(0x70);
        ExpectRules(expected, where);
        EXPECT_EQ(camera.Peek(kBankEeprom, 0x04), 0x11) << where;

        Restart();
        Click(kDirectWrite);
        EXPECT_EQ(camera.Peek(kBankEeprom, 0x04), 0x33) << where;
        EXPECT_EQ(messages.Texts(), Strings{}) << where;
    });
}

} // namespace
} // namespace zarnix::test
