// Push buttons, check boxes and the pixel-correction panel.
#include <QAbstractButton>
#include <QSlider>

#include <algorithm>

#include "panel/main_dialog.h"
#include "panel/slider_table.h"
#include "panel/main_window_layout.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

// Key codes of the camera's on-screen menu on register 0x30:0x40.
enum EOsdKey : std::uint16_t {
    kOsdLeft = 1,
    kOsdRight = 2,
    kOsdUp = 3,
    kOsdDown = 4,
    kOsdEnter = 5,
};

// The menu keys mean something to the camera only while its menu is switched on.
const std::initializer_list<int> kOsdKeyButtons = {1049, 1052, 1051, 1050, 1053};
// "3DNR auto mode" and the level, AGC start and AGC stop sliders with their boxes.
const std::initializer_list<int> k3dnrControls = {1059, 1060, 1061, 1062, 1063, 1064, 1065};

// Register 0x30:0x05: bit 0 mirrors the picture, bit 1 flips it vertically.
constexpr std::uint16_t kScanMirror = 1, kScanVFlip = 2;
// Register 0x30:0x18: bit 0 switches noise reduction on, bit 1 lets the camera drive it.
constexpr std::uint16_t k3dnrOn = 1, k3dnrAuto = 2;

// The camera takes "iris off" as 0. The settings copy keeps what the camera was
// sent, so that SAVE stores the iris state the operator chose, not its opposite.
constexpr std::uint16_t kIrisOffCode = 0, kIrisOnCode = 1;

// "AWC set and run" measures the white once; what the camera should keep
// afterwards is the measured setting, "AWC set".
constexpr std::uint16_t kWbAwcSetAndRun = 5, kWbAwcSet = 6;

constexpr std::uint16_t kCorrectionStart = 1, kCorrectionClearAll = 2;

// The two field registers count the fields the opposite way round.
constexpr std::uint16_t kAutoFieldOdd = 1, kAutoFieldEven = 0;
constexpr std::uint8_t kManualFieldOdd = 0, kManualFieldEven = 1;

// Manual correction slots: 0 is off, then four defect addresses.
constexpr std::int32_t kSlotOff = 0, kSlotCount = 5;
constexpr std::uint16_t kAssign = 1;
constexpr const char* kSlotOffText = "Address is Off, please select an address";

// Settling times the camera's correction logic needs after a command, in ms.
constexpr unsigned kFieldPauseMs = 30;
constexpr unsigned kAssignPauseMs = 30;
constexpr unsigned kMarkerPartPauseMs = 35;

} // namespace

// One marker axis: where its position lives, its slider, its range on the sensor
// and the register pair that carries it, high bits first.
struct CMyQuorel_controller_r2_1Dlg::CMarkerAxis {
    std::int32_t CDlg::*position;
    QSlider* CDlg::*slider;
    int minimum;
    int maximum;
    unsigned settleMs; // taken before the pair is written
    ESetCommand high;
    ESetCommand low;
};

namespace {

const CDlg::CMarkerAxis kHorMarker = {&CDlg::m_nHorMarker, &CDlg::m_sliderMarkerH, 158, 909, 10,
                                      ESetCommand::SetHorMarkerHigh, ESetCommand::SetHorMarkerLow};
const CDlg::CMarkerAxis kVertMarker = {&CDlg::m_nVertMarker, &CDlg::m_sliderMarkerV, 19, 310, 0,
                                       ESetCommand::SetVertMarkerHigh, ESetCommand::SetVertMarkerLow};

} // namespace

void CMyQuorel_controller_r2_1Dlg::ConnectButtonHandlers()
{
    // Operator clicks only: a box checked from code (the refresh) sends nothing.
    const struct {
        int id;
        void (CDlg::*onClicked)();
    } buttons[] = {
        {1049, &CDlg::OnBnClickedOsdUp},
        {1052, &CDlg::OnBnClickedOsdDown},
        {1050, &CDlg::OnBnClickedOsdLeft},
        {1051, &CDlg::OnBnClickedOsdRight},
        {1053, &CDlg::OnBnClickedOsdEnter},
        {1054, &CDlg::OnBnClickedOsdControl},
        {1017, &CDlg::OnBnClickedMirror},
        {1018, &CDlg::OnBnClickedVFlip},
        {1033, &CDlg::OnBnClickedIrisOff},
        {1032, &CDlg::OnBnClickedPwb},
        {1058, &CDlg::OnBnClicked3dnrOnOff},
        {1059, &CDlg::OnBnClicked3dnrAuto},
        {1081, &CDlg::OnBnClickedZoomOnOff},
        {1012, &CDlg::OnBnClickedDayNightActive},
        {1066, &CDlg::OnBnClickedStartCorrection},
        {1067, &CDlg::OnBnClickedClearAll},
        {1072, &CDlg::OnBnClickedShowCorrected},
        {1089, &CDlg::OnBnClickedAutoFieldOdd},
        {1091, &CDlg::OnBnClickedAutoFieldEven},
        {1073, &CDlg::OnBnClickedManualFieldOdd},
        {1074, &CDlg::OnBnClickedManualFieldEven},
        {1076, &CDlg::OnBnClickedAddressPlus},
        {1077, &CDlg::OnBnClickedAddressMin},
        {1080, &CDlg::OnBnClickedAssignPixel},
        {1088, &CDlg::OnBnClickedHorMarkerMinus},
        {1093, &CDlg::OnBnClickedHorMarkerPlus},
        {1090, &CDlg::OnBnClickedVertMarkerMinus},
        {1094, &CDlg::OnBnClickedVertMarkerPlus},
    };
    for (const auto& entry : buttons)
        connect(DlgItem<QAbstractButton>(*this, entry.id), &QAbstractButton::clicked, this, entry.onClicked);
}

int CMyQuorel_controller_r2_1Dlg::ButtonChecked(int id) const
{
    auto* button = qobject_cast<QAbstractButton*>(Item(id));
    return button && button->isChecked() ? 1 : 0;
}

void CMyQuorel_controller_r2_1Dlg::SendRecorded(ESetCommand command, std::uint16_t sent, std::uint16_t recorded)
{
    // The copy follows the operator even when the bus failed: the adapter has
    // already said so, and SAVE stores what the window shows.
    Camera().Set(command, sent);
    RecordSetting(EntryOf(command), recorded);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedOsdUp() { Camera().SendOsdKey(kOsdUp); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedOsdDown() { Camera().SendOsdKey(kOsdDown); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedOsdLeft() { Camera().SendOsdKey(kOsdLeft); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedOsdRight() { Camera().SendOsdKey(kOsdRight); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedOsdEnter() { Camera().SendOsdKey(kOsdEnter); }

void CMyQuorel_controller_r2_1Dlg::OnBnClickedOsdControl()
{
    m_bOsdControl = ButtonChecked(1054);
    Enable(kOsdKeyButtons, m_bOsdControl != 0);
    Camera().SetOsdControl(static_cast<std::uint16_t>(m_bOsdControl));
}

void CMyQuorel_controller_r2_1Dlg::SendScanningMode()
{
    // One register holds both flips, so each box sends the pair the two boxes show.
    const std::uint16_t mode = (m_bMirror ? kScanMirror : 0) | (m_bVFlip ? kScanVFlip : 0);
    SendRecorded(ESetCommand::SetScanningMode, mode, mode);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedMirror()
{
    m_bMirror = ButtonChecked(1017);
    SendScanningMode();
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedVFlip()
{
    m_bVFlip = ButtonChecked(1018);
    SendScanningMode();
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedIrisOff()
{
    m_bIrisOff = ButtonChecked(1033);
    const std::uint16_t code = m_bIrisOff ? kIrisOffCode : kIrisOnCode;
    SendRecorded(ESetCommand::SetIris, code, code);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedPwb()
{
    SendRecorded(ESetCommand::SetWhiteBalanceMode, kWbAwcSetAndRun, kWbAwcSet);
    m_nWbMode = kWbAwcSetAndRun;
}

void CMyQuorel_controller_r2_1Dlg::Send3dnrMode()
{
    const std::uint16_t mode = (m_b3dnrOn ? k3dnrOn : 0) | (m_b3dnrAuto ? k3dnrAuto : 0);
    SendRecorded(ESetCommand::Set3dnrMode, mode, mode);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClicked3dnrOnOff()
{
    m_b3dnrOn = ButtonChecked(1058);
    Enable(k3dnrControls, m_b3dnrOn != 0);
    Send3dnrMode();
}

void CMyQuorel_controller_r2_1Dlg::OnBnClicked3dnrAuto()
{
    m_b3dnrAuto = ButtonChecked(1059);
    Send3dnrMode();
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedZoomOnOff()
{
    m_bZoomOn = ButtonChecked(1081);
    const auto on = static_cast<std::uint16_t>(m_bZoomOn);
    SendRecorded(ESetCommand::SetZoomOnOff, on, on);
}

// The camera has no register for it; the box only keeps its state.
void CMyQuorel_controller_r2_1Dlg::OnBnClickedDayNightActive() { m_bDayNightActive = ButtonChecked(1012); }

void CMyQuorel_controller_r2_1Dlg::OnBnClickedStartCorrection() { Camera().SetPixelCorrection(kCorrectionStart); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedClearAll() { Camera().SetPixelCorrection(kCorrectionClearAll); }

void CMyQuorel_controller_r2_1Dlg::OnBnClickedShowCorrected()
{
    m_bShowCorrected = ButtonChecked(1072);
    Camera().SetShowCorrected(static_cast<std::uint16_t>(m_bShowCorrected));
}

void CMyQuorel_controller_r2_1Dlg::SelectAutoField(std::uint16_t code)
{
    Camera().SetAutoField(code);
    m_context.clock.Pause(kFieldPauseMs);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedAutoFieldOdd() { SelectAutoField(kAutoFieldOdd); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedAutoFieldEven() { SelectAutoField(kAutoFieldEven); }

void CMyQuorel_controller_r2_1Dlg::SelectManualField(std::uint8_t field)
{
    // The slot buttons resend this field, so the member changes before anything else.
    m_nManualField = field;
    SendRecorded(ESetCommand::SetManualField, field, field);
    m_context.clock.Pause(kFieldPauseMs);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedManualFieldOdd() { SelectManualField(kManualFieldOdd); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedManualFieldEven() { SelectManualField(kManualFieldEven); }

// The slots go round: Off, addr1 to addr4, Off.
void CMyQuorel_controller_r2_1Dlg::OnBnClickedAddressPlus()
{
    if (m_nPixelSlot >= kSlotOff && m_nPixelSlot < kSlotCount)
        m_nPixelSlot = (m_nPixelSlot + 1) % kSlotCount;
    ShowPixelSlot();
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedAddressMin()
{
    if (m_nPixelSlot >= kSlotOff && m_nPixelSlot < kSlotCount)
        m_nPixelSlot = (m_nPixelSlot + kSlotCount - 1) % kSlotCount;
    ShowPixelSlot();
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedAssignPixel()
{
    if (m_nPixelSlot == kSlotOff)
        m_context.messages.Show(kSlotOffText);
    else
        Camera().AssignPixel(kAssign);
    m_context.clock.Pause(kAssignPauseMs);
}

void CMyQuorel_controller_r2_1Dlg::StepMarker(const CMarkerAxis& axis, int step)
{
    // A click moves the marker one pixel and never past the sensor's edge.
    std::int32_t& position = this->*axis.position;
    position = std::clamp(std::clamp(position, axis.minimum, axis.maximum) + step, axis.minimum, axis.maximum);
    (this->*axis.slider)->setValue(position);
    if (axis.settleMs != 0)
        m_context.clock.Pause(axis.settleMs);

    WriteMarkerPair(axis.high, static_cast<std::uint16_t>((position >> 8) & 0xFF), axis.low,
                    static_cast<std::uint16_t>(position & 0xFF));
}

void CMyQuorel_controller_r2_1Dlg::WriteMarkerPair(ESetCommand highCommand, std::uint16_t high,
                                                   ESetCommand lowCommand, std::uint16_t low)
{
    // The camera needs time to move the marker after each half.
    CCameraControl camera = Camera();
    camera.Set(highCommand, high);
    RecordSetting(EntryOf(highCommand), high);
    m_context.clock.Pause(kMarkerPartPauseMs);
    camera.Set(lowCommand, low);
    RecordSetting(EntryOf(lowCommand), low);
    m_context.clock.Pause(kMarkerPartPauseMs);
}

void CMyQuorel_controller_r2_1Dlg::OnBnClickedHorMarkerMinus() { StepMarker(kHorMarker, -1); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedHorMarkerPlus() { StepMarker(kHorMarker, +1); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedVertMarkerMinus() { StepMarker(kVertMarker, -1); }
void CMyQuorel_controller_r2_1Dlg::OnBnClickedVertMarkerPlus() { StepMarker(kVertMarker, +1); }

} // namespace zarnix
