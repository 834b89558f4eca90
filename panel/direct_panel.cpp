// The direct I2C panel: any register of any bank, read and written by hand.
#include <QAbstractButton>
#include <QLineEdit>

#include <algorithm>
#include <limits>

#include "panel/hex_text.h"
#include "panel/main_dialog.h"
#include "panel/main_window_layout.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

constexpr std::uint16_t kByteMax = 0xFF;
constexpr std::uint16_t kByteCount = 0x100;

// A box's text as the C library's base-16 strtoul reads it (leading blanks, a
// sign, a 0x prefix; digits up to the first character that is none; beyond the
// range the largest value), then limited to one byte.
std::uint16_t ParseHexByte(const QString& text)
{
    return static_cast<std::uint16_t>(std::min<std::uint32_t>(HexTextValue(text), kByteMax));
}

// One step within 0x00 to 0xFF, wrapping at both ends.
std::uint16_t StepByte(std::uint16_t value, bool up)
{
    const std::uint16_t next = static_cast<std::uint16_t>(up ? value + 1 : value - 1);
    if (next >= kByteCount)
        return up ? 0 : kByteMax;
    return next;
}

std::uint8_t Byte(std::uint16_t value) { return static_cast<std::uint8_t>(value); }

} // namespace

// The bank and data boxes show their value normalised at once; the register
// box keeps what was typed until the members are next shown.
void CMyQuorel_controller_r2_1Dlg::OnEnChangeDeviceAddr()
{
    UpdateData(true);
    m_wDirectBank = ParseHexByte(m_strDeviceAddr);
    m_strDeviceAddr = Hex(m_wDirectBank);
    UpdateData(false);
}

void CMyQuorel_controller_r2_1Dlg::OnEnChangeRegisterAddr()
{
    UpdateData(true);
    const std::uint16_t index = ParseHexByte(m_strRegisterAddr);
    UpdateData(false);
    m_wDirectIndex = index;
    m_strRegisterAddr = Hex(index);
}

void CMyQuorel_controller_r2_1Dlg::OnEnChangeData()
{
    UpdateData(true);
    m_wDirectData = ParseHexByte(m_strData);
    m_strData = Hex(m_wDirectData);
    UpdateData(false);
}

void CMyQuorel_controller_r2_1Dlg::StepDirectData(bool up)
{
    m_wDirectData = StepByte(m_wDirectData, up);
    UpdateData(true);
    m_strData = Hex(m_wDirectData);
    UpdateData(false);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedDataPlus() { StepDirectData(true); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedDataMinus() { StepDirectData(false); }

void CMyQuorel_controller_r2_1Dlg::StepDirectIndex(bool up)
{
    m_wDirectIndex = StepByte(m_wDirectIndex, up);
    UpdateData(true);
    m_strRegisterAddr = Hex(m_wDirectIndex);
    // The live bank reads back only through its mirror bank, so stepping there
    // leaves the data as it was.
    if (m_wDirectBank != kBankLive) {
        m_wDirectData = Camera().ReadRegister(Byte(m_wDirectBank), Byte(m_wDirectIndex));
        m_strData = Hex(m_wDirectData);
    }
    UpdateData(false);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedRegisterPlus() { StepDirectIndex(true); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedRegisterMinus() { StepDirectIndex(false); }

void CMyQuorel_controller_r2_1Dlg::OnBnClickedDirectRead()
{
    m_wDirectData = Camera().ReadRegister(Byte(m_wDirectBank), Byte(m_wDirectIndex));
    UpdateData(true);
    m_strData = Hex(m_wDirectData);
    UpdateData(false);
}

// Sends the members as they stand: the boxes were taken in as they were typed.
void CMyQuorel_controller_r2_1Dlg::OnBnClickedDirectWrite()
{
    Camera().WriteRegister(Byte(m_wDirectBank), Byte(m_wDirectIndex), m_wDirectData);
}

void CMyQuorel_controller_r2_1Dlg::ConnectDirectPanel()
{
    const struct {
        int id;
        void (CDlg::*onEdited)();
    } boxes[] = {
        {1103, &CDlg::OnEnChangeDeviceAddr},
        {1104, &CDlg::OnEnChangeRegisterAddr},
        {1105, &CDlg::OnEnChangeData},
    };
    for (const auto& entry : boxes)
        connect(DlgItem<QLineEdit>(*this, entry.id), &QLineEdit::textEdited, this, entry.onEdited);

    const struct {
        int id;
        void (CDlg::*onClicked)();
    } buttons[] = {
        {1106, &CDlg::OnBnClickedRegisterPlus}, {1112, &CDlg::OnBnClickedRegisterMinus},
        {1110, &CDlg::OnBnClickedDataPlus},     {1111, &CDlg::OnBnClickedDataMinus},
        {1107, &CDlg::OnBnClickedDirectWrite},  {1113, &CDlg::OnBnClickedDirectRead},
    };
    for (const auto& entry : buttons)
        connect(DlgItem<QAbstractButton>(*this, entry.id), &QAbstractButton::clicked, this, entry.onClicked);
}

} // namespace zarnix
