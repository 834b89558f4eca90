// Start-up, the address search and the refresh that sets every control from the
// camera's live settings.
#include <QLineEdit>
#include <QSlider>

#include "panel/drop_down_combo.h"
#include "panel/hex_text.h"
#include "panel/main_dialog.h"
#include "panel/option_lists.h"
#include "panel/slider_table.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

constexpr std::uint16_t kStartComDelay = 30;

// Pauses of the refresh's own writes, in milliseconds.
constexpr unsigned kFieldPauseMs = 30;
constexpr unsigned kPixelSlotPauseMs = 50;

// Where the direct panel starts: the stored brightness.
constexpr std::uint16_t kDirectStartBank = 0xA0;
constexpr std::uint16_t kDirectStartIndex = 0x04;

void SetSlider(QWidget* widget, int minimum, int maximum, int position)
{
    if (auto* slider = qobject_cast<QSlider*>(widget)) {
        slider->setRange(minimum, maximum);
        slider->setValue(position); // Qt keeps a value outside the range at the nearer end
    }
}

int Marker(std::uint16_t high, std::uint16_t low, int minimum, int maximum)
{
    return std::clamp((high & 3) * 256 + low, minimum, maximum);
}

} // namespace

bool CMyQuorel_controller_r2_1Dlg::OnInitDialog()
{
    // Runs once, whether the first showing or the caller started it.
    m_bInitDone = true;
    m_wComDelay = kStartComDelay;
    m_bCameraToFile = 0;
    m_bAllRegisters = 0;
    OnBnClickedSearchAddress();
    m_strComDelay = QString::number(kStartComDelay);
    UpdateData(false);
    RefreshFromCamera();
    return true;
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedSearchAddress()
{
    const CLongWork::CScope work(m_longWork);
    m_wCameraAddress = SearchAddress(m_context);
    UpdateData(true);
    m_strCameraAddress = Hex(m_wCameraAddress);
    UpdateData(false);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedConnect()
{
    const CLongWork::CScope work(m_longWork);
    RefreshFromCamera();
}

void CMyQuorel_controller_r2_1Dlg::RefreshFromCamera()
{
    Enable({1012}, false);
    CCameraControl camera = Camera();
    camera.ReadSettings(m_wComDelay);
    const auto& E = camera.Shadow();
    m_awSettings = E;
    m_abSettingKnown = camera.ReadWhole();
    UpdateData(false);

    m_nWbMode = E[0x08];
    ShowWhiteBalanceSettings();
    // The two limit lists show the registers crosswise to the ones they write.
    m_nShutterMode = E[0x00];
    m_nMaxShutter = E[0x25];
    m_nMinShutter = E[0x26];
    ShowShutterSettings();
    m_nSensUpMode = E[0x01] == kNotRead ? 3 : E[0x01];
    FillSensUpModeList();
    SelectListIndex(*m_comboSensUpMode, m_nSensUpMode);
    m_nDnMode = E[0x20];
    m_nColourBurst = E[0x21];
    ShowDayNightSettings();
    m_nBlcMode = E[0x10];
    m_nBlcGain = E[0x11];
    m_nBlcWindowSize = E[0x14];
    m_nBlcWindowPos = E[0x13];
    ShowBlcSettings();
    UpdateData(true);

    for (const auto& row : SliderRows()) {
        const std::uint8_t entry = EntryOf(row.command);
        switch (row.action) {
        case ESliderAction::Standard:
        case ESliderAction::SuLevel:
            SetSlider(Item(row.slider), row.minimum, row.maximum, E[entry]);
            m_awSettings[entry] = E[entry];
            this->*row.text = Hex(E[entry]);
            break;
        case ESliderAction::Marker:
            this->*row.position = Marker(E[entry], E[EntryOf(row.low)], row.minimum, row.maximum);
            SetSlider(Item(row.slider), row.minimum, row.maximum, this->*row.position);
            break;
        case ESliderAction::Zoom:
            SetSlider(Item(row.slider), row.minimum, row.maximum, E[entry]);
            break;
        }
    }
    UpdateData(false);

    m_nManualField = E[0x48] != 0 ? 1 : 0;
    Check(1074, m_nManualField == 1);
    Check(1073, m_nManualField == 0);
    m_awSettings[0x48] = m_nManualField;
    Check(1081, E[0x29] == 1);
    Check(1059, (E[0x18] & 2) != 0);
    Enable({1059, 1060, 1061, 1062, 1063, 1064, 1065}, m_b3dnrOn != 0);
    m_awSettings[0x05] = E[0x05];
    Check(1017, (E[0x05] & 1) != 0);
    Check(1018, (E[0x05] & 2) != 0);
    Check(1033, (E[0x30] & 1) != 0);
    Enable({1049, 1052, 1051, 1050, 1053}, false);

    m_nPixelSlot = 0;
    m_strPixelAddress = "Off";
    ShowPixelSlot();

    // Every refresh leaves the camera correcting the even field in both modes.
    Check(1091, true);
    Check(1089, false);
    CCameraControl fields = Camera();
    fields.SetAutoField(0);
    m_context.clock.Pause(kFieldPauseMs);
    Check(1074, true);
    Check(1073, false);
    m_nManualField = 1;
    fields.SetManualField(1);
    m_awSettings[0x48] = 1;
    m_context.clock.Pause(kFieldPauseMs);

    ShowDirectRegister();
}

void CMyQuorel_controller_r2_1Dlg::ApplyWhiteBalanceEnabling(std::int32_t mode)
{
    // Manual white balance takes the gains; the AWC modes take the push button.
    static const std::initializer_list<int> kGainControls = {1028, 1029, 1030, 1031, 1037, 1038};
    switch (mode) {
    case 0: case 1: case 3: case 4:
        Enable(kGainControls, false);
        Enable({1032}, false);
        break;
    case 2:
        Enable(kGainControls, true);
        Enable({1032}, false);
        break;
    case 5: case 6:
        Enable(kGainControls, false);
        Enable({1032}, true);
        break;
    default:
        break; // a code the list does not know changes nothing
    }
}

void CMyQuorel_controller_r2_1Dlg::ShowWhiteBalanceSettings()
{
    FillWbModeList();
    SelectListIndex(*m_comboWbMode, m_nWbMode);
    ApplyWhiteBalanceEnabling(m_nWbMode);
}

void CMyQuorel_controller_r2_1Dlg::EnableWhiteBalanceControls()
{
    // One rule for the list's choice and the refresh: both AWC modes take the push
    // button, and a mode the list does not know changes nothing.
    ApplyWhiteBalanceEnabling(m_nWbMode);
}

void CMyQuorel_controller_r2_1Dlg::ShowShutterSettings()
{
    m_nShutterMode = ShutterCodeToIndex(m_nShutterMode);
    FillShutterModeList();
    SelectListIndex(*m_comboShutterMode, m_nShutterMode);
    // The limits only apply in limited automatic mode.
    Enable({1035, 1045}, m_nShutterMode == kShutterLimitedAutoIndex);
    FillMaxShutterList();
    SelectListIndex(*m_comboMaxShutter, m_nMaxShutter);
    FillMinShutterList();
    SelectListIndex(*m_comboMinShutter, m_nMinShutter);
}

void CMyQuorel_controller_r2_1Dlg::ShowDayNightSettings()
{
    if (m_nDnMode == 0xFF)
        m_nDnMode = 2;
    if (m_nColourBurst == 0xFF)
        m_nColourBurst = 1;
    FillDnModeList();
    SelectListIndex(*m_comboDnMode, m_nDnMode);
    m_comboColourBurst->clear();
    m_comboColourBurst->addItems({"0: Off", "1: On"});
    SelectListIndex(*m_comboColourBurst, m_nColourBurst);
}

void CMyQuorel_controller_r2_1Dlg::ShowBlcSettings()
{
    if (m_nBlcMode >= 8)
        m_nBlcMode = 0;
    if (m_nBlcGain >= 4)
        m_nBlcGain = 1;
    if (m_nBlcWindowSize >= 0x90)
        m_nBlcWindowSize = 2;
    if (m_nBlcWindowPos >= 0x90)
        m_nBlcWindowPos = 4;
    FillBlcModeList();
    SelectListIndex(*m_comboBlcMode, m_nBlcMode);
    FillBlcGainList();
    SelectListIndex(*m_comboBlcGain, m_nBlcGain);
    FillBlcWindowSizeList();
    SelectListIndex(*m_comboBlcWindowSize, WindowSizeCodeToIndex(static_cast<std::uint16_t>(m_nBlcWindowSize)));
    FillBlcWindowPosList();
    SelectListIndex(*m_comboBlcWindowPos, WindowPosCodeToIndex(static_cast<std::uint16_t>(m_nBlcWindowPos)));
}

void CMyQuorel_controller_r2_1Dlg::ShowPixelSlot()
{
    static const char* const kSlotNames[] = {"Off", "addr1", "addr2", "addr3", "addr4"};
    UpdateData(true);
    if (m_nPixelSlot >= 0 && m_nPixelSlot <= 4)
        m_strPixelAddress = kSlotNames[m_nPixelSlot];
    UpdateData(false);
    CCameraControl camera = Camera();
    camera.SetManualField(m_nManualField);
    m_context.clock.Pause(kPixelSlotPauseMs);
    camera.SetPixelAddress(static_cast<std::uint16_t>(m_nPixelSlot));
    m_context.clock.Pause(kPixelSlotPauseMs);
}

void CMyQuorel_controller_r2_1Dlg::ShowDirectRegister()
{
    m_wDirectBank = kDirectStartBank;
    m_wDirectIndex = kDirectStartIndex;
    m_wDirectData = Camera().ReadRegister(static_cast<std::uint8_t>(m_wDirectBank),
                                          static_cast<std::uint8_t>(m_wDirectIndex));
    UpdateData(true);
    m_strDeviceAddr = Hex(m_wDirectBank);
    m_strRegisterAddr = Hex(m_wDirectIndex);
    m_strData = Hex(m_wDirectData);
    UpdateData(false);
}

} // namespace zarnix
