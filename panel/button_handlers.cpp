// Push buttons, check boxes and the pixel-correction panel.
#include <QAbstractButton>
#include <QSlider>

#include <algorithm>

#include "panel/control_panel.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

// Register 0x30:0x05: bit 0 mirrors the picture, bit 1 flips it vertically.
constexpr std::uint16_t kScanMirror = 1, kScanVFlip = 2;
// Register 0x30:0x18: bit 0 switches noise reduction on, bit 1 lets the camera drive it.
constexpr std::uint16_t k3dnrOn = 1, k3dnrAuto = 2;

// The camera takes "iris off" as 0. The settings copy keeps what the camera was
// sent, so that SAVE stores the iris state the operator chose, not its opposite.
constexpr std::uint16_t kIrisOffCode = 0, kIrisOnCode = 1;

// Manual correction slots: 0 is off, then four defect addresses.
constexpr std::int32_t kSlotOff = 0, kSlotCount = 5;
constexpr std::uint16_t kAssign = 1;
constexpr const char* kSlotOffText = "Address is Off, please select an address";

// Settling times the camera's correction logic needs after a command, in ms.
constexpr unsigned kFieldPauseMs = 30;
constexpr unsigned kAssignPauseMs = 30;
constexpr unsigned kMarkerPartPauseMs = 35;
// Before a horizontal marker step goes out.
constexpr unsigned kHorMarkerSettleMs = 10;

} // namespace

std::array<QWidget*, 7> CControlPanel::NoiseReductionControls() const
{
    const Ui::ControlPanel& ui = *m_ui;
    return {ui.dnrAutoCheck,      ui.dnrLevelSlider,   ui.dnrLevelBox,     ui.dnrAgcStartSlider,
            ui.dnrAgcStartBox,    ui.dnrAgcStopSlider, ui.dnrAgcStopBox};
}

std::array<QWidget*, 5> CControlPanel::OsdKeys() const
{
    const Ui::ControlPanel& ui = *m_ui;
    return {ui.osdUpButton, ui.osdDownButton, ui.osdRightButton, ui.osdLeftButton, ui.osdEnterButton};
}

void CControlPanel::SendRecorded(ESetCommand command, std::uint16_t sent, std::uint16_t recorded)
{
    // The copy follows the operator even when the bus failed: the adapter has
    // already said so, and SAVE stores what the window shows.
    Camera().Set(command, sent);
    RecordSetting(EntryOf(command), recorded);
}

void CControlPanel::OnBnClickedOsdKey(std::uint16_t key) { Camera().SendOsdKey(key); }

void CControlPanel::OnBnClickedOsdControl()
{
    const bool on = m_ui->osdControlCheck->isChecked();
    Enable(OsdKeys(), on);
    Camera().SetOsdControl(on ? 1 : 0);
}

// One register holds both flips, so each box sends the pair the two boxes show.
void CControlPanel::OnBnClickedMirror()
{
    const std::uint16_t mode =
        (m_ui->mirrorCheck->isChecked() ? kScanMirror : 0) | (m_ui->vFlipCheck->isChecked() ? kScanVFlip : 0);
    SendRecorded(ESetCommand::SetScanningMode, mode, mode);
}

void CControlPanel::OnBnClickedIrisOff()
{
    const std::uint16_t code = m_ui->irisOffCheck->isChecked() ? kIrisOffCode : kIrisOnCode;
    SendRecorded(ESetCommand::SetIris, code, code);
}

void CControlPanel::OnBnClickedPwb()
{
    SendRecorded(ESetCommand::SetWhiteBalanceMode, kWbAwcSetAndRun, kWbAwcSet);
    CodeOf(ListId::WbMode) = kWbAwcSetAndRun;
}

void CControlPanel::OnBnClicked3dnrOnOff()
{
    Enable(NoiseReductionControls(), m_ui->dnrOnOffCheck->isChecked());
    Send3dnrMode();
}

void CControlPanel::Send3dnrMode()
{
    const std::uint16_t mode =
        (m_ui->dnrOnOffCheck->isChecked() ? k3dnrOn : 0) | (m_ui->dnrAutoCheck->isChecked() ? k3dnrAuto : 0);
    SendRecorded(ESetCommand::Set3dnrMode, mode, mode);
}

void CControlPanel::OnBnClickedZoomOnOff()
{
    const std::uint16_t on = m_ui->zoomOnOffCheck->isChecked() ? 1 : 0;
    SendRecorded(ESetCommand::SetZoomOnOff, on, on);
}

void CControlPanel::OnBnClickedPixelCorrection(std::uint16_t action) { Camera().SetPixelCorrection(action); }

void CControlPanel::OnBnClickedShowCorrected()
{
    Camera().SetShowCorrected(m_ui->showCorrectedCheck->isChecked() ? 1 : 0);
}

void CControlPanel::SelectAutoField(std::uint16_t code)
{
    Camera().SetAutoField(code);
    m_context.clock.Pause(kFieldPauseMs);
}

void CControlPanel::SelectManualField(std::uint8_t field)
{
    SendRecorded(ESetCommand::SetManualField, field, field);
    m_context.clock.Pause(kFieldPauseMs);
}

// The slots go round: Off, addr1 to addr4, Off.
void CControlPanel::OnBnClickedAddressStep(int step)
{
    if (m_nPixelSlot >= kSlotOff && m_nPixelSlot < kSlotCount)
        m_nPixelSlot = (m_nPixelSlot + kSlotCount + step) % kSlotCount;
    ShowPixelSlot();
}

void CControlPanel::OnBnClickedAssignPixel()
{
    if (m_nPixelSlot == kSlotOff)
        m_context.messages.Show(kSlotOffText);
    else
        Camera().AssignPixel(kAssign);
    m_context.clock.Pause(kAssignPauseMs);
}

void CControlPanel::StepMarker(QSlider& slider, int step)
{
    // A click moves the marker one pixel and never past the sensor's edge.
    const int position = std::clamp(slider.value() + step, slider.minimum(), slider.maximum());
    slider.setValue(position);
    if (&slider == m_ui->horMarkerSlider)
        m_context.clock.Pause(kHorMarkerSettleMs);
    WriteMarkerPair(slider, position);
}

void CControlPanel::WriteMarkerPair(QSlider& slider, int position)
{
    const bool horizontal = &slider == m_ui->horMarkerSlider;
    const ESetCommand high = horizontal ? ESetCommand::SetHorMarkerHigh : ESetCommand::SetVertMarkerHigh;
    const ESetCommand low = horizontal ? ESetCommand::SetHorMarkerLow : ESetCommand::SetVertMarkerLow;
    const auto highBits = static_cast<std::uint16_t>((position >> 8) & 3);
    const auto lowBits = static_cast<std::uint16_t>(position & 0xFF);
    // The camera needs time to move the marker after each half.
    CCameraControl camera = Camera();
    camera.Set(high, highBits);
    RecordSetting(EntryOf(high), highBits);
    m_context.clock.Pause(kMarkerPartPauseMs);
    camera.Set(low, lowBits);
    RecordSetting(EntryOf(low), lowBits);
    m_context.clock.Pause(kMarkerPartPauseMs);
}

} // namespace zarnix
