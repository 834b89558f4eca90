// The real dialog on the simulated camera, with a virtual clock and a message
// recorder: what every window test starts from. The handle checks of BusTest run
// after each test.
#pragma once

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "tests/bus_fixture.h"
#include "panel/main_dialog.h"
#include "panel/main_window_layout.h"

namespace zarnix::test {

class PanelTest : public BusTest {
protected:
    using Strings = std::vector<std::string>;

    std::unique_ptr<CMyQuorel_controller_r2_1Dlg> dlg;

    // Builds the window and runs its start-up (search and refresh) on the camera as
    // the test has set it up.
    void Start()
    {
        dlg = std::make_unique<CMyQuorel_controller_r2_1Dlg>(context);
        dlg->OnInitDialog();
    }
    // Start() and then forgets the start-up's traffic and messages, so that a test
    // sees only what its own action sent; the clock restarts at 0.
    void StartQuiet()
    {
        Start();
        bus.ClearLog();
        messages.Clear();
        clock = CVirtualClock{};
    }
    void Live(std::uint8_t index, std::uint8_t value) { camera.Poke(0x30, index, value); }

    QComboBox* List(int id) const { return DlgItem<QComboBox>(*dlg, id); }
    QSlider* Slider(int id) const { return DlgItem<QSlider>(*dlg, id); }
    QLineEdit* Box(int id) const { return DlgItem<QLineEdit>(*dlg, id); }
    QAbstractButton* Button(int id) const { return DlgItem<QAbstractButton>(*dlg, id); }
    QString Text(int id) const { return Box(id)->text(); }
    bool Checked(int id) const { return Button(id)->isChecked(); }
    bool Enabled(int id) const { return dlg->Item(id)->isEnabled(); }

    // Register traffic from `from` on: "@ms bank:index=value" for a write,
    // "@ms read bank:index" for a read request, times in virtual milliseconds.
    Strings WritesFrom(Micros from = Micros(0)) const
    {
        Strings out;
        const auto& log = bus.Log();
        for (std::size_t i = 0; i < log.size(); ++i) {
            if (log[i].time < from || log[i].call != EAdapterCall::SendSub)
                continue;
            char text[48];
            if (log[i].subAddress == 0) {
                const auto* send = &log[i];
                for (std::size_t j = i + 1; j < log.size(); ++j)
                    if (log[j].call == EAdapterCall::Send) {
                        send = &log[j];
                        break;
                    }
                std::snprintf(text, sizeof text, "@%ld %02x:%02x=%x", static_cast<long>(log[i].time.count() / 1000),
                              log[i].data[0], log[i].data[1], send->data.at(0));
            } else {
                std::snprintf(text, sizeof text, "@%ld read %02x:%02x", static_cast<long>(log[i].time.count() / 1000),
                              log[i].data[0], log[i].data[1]);
            }
            out.push_back(text);
        }
        return out;
    }
    // The same without the times: "bank:index=value" and "read bank:index".
    Strings Writes() const
    {
        Strings out;
        for (const std::string& line : WritesFrom())
            out.push_back(line.substr(line.find(' ') + 1));
        return out;
    }
};

} // namespace zarnix::test
