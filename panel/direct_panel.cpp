// The direct I2C panel: any register of any bank, read and written by hand. The
// bank, register and data are what the three boxes say; a live register written
// here is kept and shown as its own control keeps and shows it.
#include <QLineEdit>

#include <algorithm>

#include "panel/control_panel.h"
#include "panel/hex_text.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

constexpr std::uint16_t kByteMax = 0xFF;
constexpr std::uint16_t kByteCount = 0x100;

// A box's text as the C library's base-16 strtoul reads it (leading blanks, a
// sign, a 0x prefix; digits up to the first character that is none; beyond the
// range the largest value), then limited to one byte.
std::uint8_t ByteOf(const QLineEdit& box)
{
    return static_cast<std::uint8_t>(std::min<std::uint32_t>(HexTextValue(box.text()), kByteMax));
}

// One step within 0x00 to 0xFF, wrapping at both ends.
std::uint8_t StepByte(std::uint16_t value, bool up)
{
    const auto next = static_cast<std::uint16_t>(up ? value + 1 : value - 1);
    if (next >= kByteCount)
        return up ? 0 : kByteMax;
    return static_cast<std::uint8_t>(next);
}

} // namespace

// The bank and data boxes show their value normalised at once; the register
// box keeps what was typed until it is next set.
void CControlPanel::OnEnChangeDeviceAddr()
{
    SyncListTexts();
    m_ui->deviceAddressBox->setText(Hex(ByteOf(*m_ui->deviceAddressBox)));
}

void CControlPanel::OnEnChangeRegisterAddr() { SyncListTexts(); }

void CControlPanel::OnEnChangeData()
{
    SyncListTexts();
    m_ui->dataBox->setText(Hex(ByteOf(*m_ui->dataBox)));
}

void CControlPanel::StepDirectData(bool up)
{
    const std::uint8_t data = StepByte(ByteOf(*m_ui->dataBox), up);
    SyncListTexts();
    m_ui->dataBox->setText(Hex(data));
}

void CControlPanel::StepDirectIndex(bool up)
{
    const std::uint8_t index = StepByte(ByteOf(*m_ui->registerAddressBox), up);
    const std::uint8_t bank = ByteOf(*m_ui->deviceAddressBox);
    SyncListTexts();
    m_ui->registerAddressBox->setText(Hex(index));
    // The live bank reads back only through its mirror bank, so stepping there
    // leaves the data as it was.
    if (bank != kBankLive)
        m_ui->dataBox->setText(Hex(Camera().ReadRegister(bank, index)));
}

void CControlPanel::OnBnClickedDirectRead()
{
    const std::uint16_t data = Camera().ReadRegister(ByteOf(*m_ui->deviceAddressBox), ByteOf(*m_ui->registerAddressBox));
    SyncListTexts();
    m_ui->dataBox->setText(Hex(data));
}

void CControlPanel::OnBnClickedDirectWrite()
{
    const std::uint8_t bank = ByteOf(*m_ui->deviceAddressBox), index = ByteOf(*m_ui->registerAddressBox);
    const std::uint8_t data = ByteOf(*m_ui->dataBox);
    Camera().WriteRegister(bank, index, data);
    // A live register changed by hand is what the camera now has: its control
    // shows it and SAVE stores it, as if its own control had written it.
    if (bank == kBankLive && index < kShadowSize) {
        RecordSetting(index, data);
        ShowSettings(index);
    }
}

} // namespace zarnix
