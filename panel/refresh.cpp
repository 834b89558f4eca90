// Start-up, the address search and the refresh that sets every control from the
// camera's live settings.
#include <algorithm>

#include "panel/control_panel.h"
#include "panel/drop_down_combo.h"
#include "panel/hex_text.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

// Pauses of the refresh's own writes, in milliseconds.
constexpr unsigned kFieldPauseMs = 30;
constexpr unsigned kPixelSlotPauseMs = 50;

// Where the direct panel starts: the stored brightness.
constexpr std::uint8_t kDirectStartBank = 0xA0;
constexpr std::uint8_t kDirectStartIndex = 0x04;

// Substitutes for registers the camera did not hand back (0xFF) or holds out of range.
constexpr std::int32_t kSensUpUnread = 3, kDnModeUnread = 2, kColourBurstUnread = 1;
constexpr std::int32_t kBlcModeLimit = 8, kBlcGainLimit = 4, kBlcGainSubstitute = 1;

void SetSlider(QSlider& slider, int minimum, int maximum, int position)
{
    slider.setRange(minimum, maximum);
    slider.setValue(position); // Qt keeps a value outside the range at the nearer end
}

int Marker(std::uint16_t high, std::uint16_t low, int minimum, int maximum)
{
    return std::clamp((high & 3) * 256 + low, minimum, maximum);
}

} // namespace

void CControlPanel::OnInitDialog()
{
    // Runs once, whether the first showing or the caller started it.
    m_bInitDone = true;
    m_wComDelay = kStartComDelay;
    m_ui->fileToCameraRadio->setChecked(true);
    m_ui->allRegistersCheck->setChecked(false);
    OnBnClickedSearchAddress();
    m_ui->comDelayBox->setText(QString::number(kStartComDelay));
    RefreshFromCamera();
}

void CControlPanel::OnBnClickedSearchAddress()
{
    const CLongWork::CScope work(m_longWork);
    m_wCameraAddress = SearchAddress(m_context);
    SyncListTexts();
    m_ui->cameraAddressBox->setText(Hex(m_wCameraAddress));
}

void CControlPanel::OnBnClickedConnect()
{
    const CLongWork::CScope work(m_longWork);
    RefreshFromCamera();
}

void CControlPanel::RefreshFromCamera()
{
    Ui::ControlPanel& ui = *m_ui;
    ui.dayNightActiveCheck->setEnabled(false);
    CCameraControl camera = Camera();
    camera.ReadSettings(m_wComDelay);
    const auto& E = camera.Shadow();
    m_awSettings = E;
    m_abSettingKnown = camera.ReadWhole();

    IndexOf(ListId::WbMode) = E[0x08];
    ShowWhiteBalanceSettings();
    // The two limit lists show the registers crosswise to the ones they write.
    IndexOf(ListId::ShutterMode) = E[0x00];
    IndexOf(ListId::MaxShutter) = E[0x25];
    IndexOf(ListId::MinShutter) = E[0x26];
    ShowShutterSettings();
    IndexOf(ListId::SensUpMode) = E[0x01] == kNotRead ? kSensUpUnread : E[0x01];
    FillList(ListId::SensUpMode);
    SelectListIndex(*ui.sensUpModeList, IndexOf(ListId::SensUpMode));
    IndexOf(ListId::DnMode) = E[0x20];
    IndexOf(ListId::ColourBurst) = E[0x21];
    ShowDayNightSettings();
    IndexOf(ListId::BlcMode) = E[0x10];
    IndexOf(ListId::BlcGain) = E[0x11];
    IndexOf(ListId::BlcWindowSize) = E[0x14];
    IndexOf(ListId::BlcWindowPos) = E[0x13];
    ShowBlcSettings();
    SyncListTexts();

    for (const CSliderRow& row : SliderRows()) {
        QSlider& slider = *(ui.*row.slider);
        const std::uint8_t entry = EntryOf(row.command);
        switch (row.action) {
        case ESliderAction::Standard:
        case ESliderAction::SuLevel:
            SetSlider(slider, row.minimum, row.maximum, E[entry]);
            m_awSettings[entry] = E[entry];
            (ui.*row.box)->setText(Hex(E[entry]));
            break;
        case ESliderAction::Marker:
            SetSlider(slider, row.minimum, row.maximum,
                      Marker(E[entry], E[EntryOf(row.low)], row.minimum, row.maximum));
            break;
        case ESliderAction::Zoom:
            SetSlider(slider, row.minimum, row.maximum, E[entry]);
            break;
        }
    }

    const bool evenField = E[0x48] != 0;
    ui.manualFieldEvenRadio->setChecked(evenField);
    ui.manualFieldOddRadio->setChecked(!evenField);
    m_awSettings[0x48] = evenField ? 1 : 0;
    ui.zoomOnOffCheck->setChecked(E[0x29] == 1);
    ui.dnrAutoCheck->setChecked((E[0x18] & 2) != 0);
    Enable(NoiseReductionControls(), ui.dnrOnOffCheck->isChecked());
    m_awSettings[0x05] = E[0x05];
    ui.mirrorCheck->setChecked((E[0x05] & 1) != 0);
    ui.vFlipCheck->setChecked((E[0x05] & 2) != 0);
    // Bit 0 set is the iris on; without a camera (0xFF) the box is cleared.
    ui.irisOffCheck->setChecked((E[0x30] & 1) == 0);
    Enable(OsdKeys(), ui.osdControlCheck->isChecked());

    m_nPixelSlot = 0;
    ShowPixelSlot();

    // Every refresh leaves the camera correcting the even field in both modes.
    ui.autoFieldEvenRadio->setChecked(true);
    ui.autoFieldOddRadio->setChecked(false);
    CCameraControl fields = Camera();
    fields.SetAutoField(kAutoFieldEven);
    m_context.clock.Pause(kFieldPauseMs);
    ui.manualFieldEvenRadio->setChecked(true);
    ui.manualFieldOddRadio->setChecked(false);
    fields.SetManualField(kManualFieldEven);
    m_awSettings[0x48] = kManualFieldEven;
    m_context.clock.Pause(kFieldPauseMs);

    ShowDirectRegister();
}

void CControlPanel::ApplyWhiteBalanceEnabling(std::int32_t mode)
{
    // Manual white balance takes the gains; the AWC modes take the push button.
    Ui::ControlPanel& ui = *m_ui;
    const std::initializer_list<QWidget*> gains = {ui.rGainSlider, ui.bGainSlider, ui.rGainBox,
                                                   ui.bGainBox,    ui.rGainLabel,  ui.bGainLabel};
    switch (mode) {
    case 0: case 1: case 3: case 4:
        Enable(gains, false);
        ui.pwbButton->setEnabled(false);
        break;
    case 2:
        Enable(gains, true);
        ui.pwbButton->setEnabled(false);
        break;
    case 5: case 6:
        Enable(gains, false);
        ui.pwbButton->setEnabled(true);
        break;
    default:
        break; // a code the list does not know changes nothing
    }
}

void CControlPanel::ShowWhiteBalanceSettings()
{
    FillList(ListId::WbMode);
    SelectListIndex(*m_ui->wbModeList, IndexOf(ListId::WbMode));
    ApplyWhiteBalanceEnabling(IndexOf(ListId::WbMode));
}

void CControlPanel::ShowShutterSettings()
{
    std::int32_t& shutter = IndexOf(ListId::ShutterMode);
    shutter = ShutterCodeToIndex(shutter);
    FillList(ListId::ShutterMode);
    SelectListIndex(*m_ui->shutterModeList, shutter);
    // The limits only apply in limited automatic mode.
    Enable({m_ui->maxShutterList, m_ui->minShutterList}, shutter == kShutterLimitedAutoIndex);
    for (const ListId limit : {ListId::MaxShutter, ListId::MinShutter}) {
        FillList(limit);
        SelectListIndex(ListOf(limit), IndexOf(limit));
    }
}

void CControlPanel::ShowDayNightSettings()
{
    if (IndexOf(ListId::DnMode) == kNotReadCode)
        IndexOf(ListId::DnMode) = kDnModeUnread;
    if (IndexOf(ListId::ColourBurst) == kNotReadCode)
        IndexOf(ListId::ColourBurst) = kColourBurstUnread;
    FillList(ListId::DnMode);
    SelectListIndex(*m_ui->dnModeList, IndexOf(ListId::DnMode));
    FillList(ListId::ColourBurst);
    SelectListIndex(*m_ui->colourBurstList, IndexOf(ListId::ColourBurst));
}

void CControlPanel::ShowBlcSettings()
{
    if (IndexOf(ListId::BlcMode) >= kBlcModeLimit)
        IndexOf(ListId::BlcMode) = 0;
    if (IndexOf(ListId::BlcGain) >= kBlcGainLimit)
        IndexOf(ListId::BlcGain) = kBlcGainSubstitute;
    std::int32_t& size = IndexOf(ListId::BlcWindowSize);
    std::int32_t& pos = IndexOf(ListId::BlcWindowPos);
    if (size >= kBlcWindowCodeLimit)
        size = kWindowSizeReplacementCode;
    if (pos >= kBlcWindowCodeLimit)
        pos = kWindowPosReplacementCode;
    FillList(ListId::BlcMode);
    SelectListIndex(*m_ui->blcModeList, IndexOf(ListId::BlcMode));
    FillList(ListId::BlcGain);
    SelectListIndex(*m_ui->blcGainList, IndexOf(ListId::BlcGain));
    FillList(ListId::BlcWindowSize);
    SelectListIndex(*m_ui->blcWindowSizeList, WindowSizeCodeToIndex(static_cast<std::uint16_t>(size)));
    FillList(ListId::BlcWindowPos);
    SelectListIndex(*m_ui->blcWindowPosList, WindowPosCodeToIndex(static_cast<std::uint16_t>(pos)));
}

void CControlPanel::ShowPixelSlot()
{
    static const char* const kSlotNames[] = {"Off", "addr1", "addr2", "addr3", "addr4"};
    SyncListTexts();
    if (m_nPixelSlot >= 0 && m_nPixelSlot < static_cast<std::int32_t>(std::size(kSlotNames)))
        m_ui->pixelAddressBox->setText(kSlotNames[m_nPixelSlot]);
    CCameraControl camera = Camera();
    camera.SetManualField(m_ui->manualFieldEvenRadio->isChecked() ? kManualFieldEven : kManualFieldOdd);
    m_context.clock.Pause(kPixelSlotPauseMs);
    camera.SetPixelAddress(static_cast<std::uint16_t>(m_nPixelSlot));
    m_context.clock.Pause(kPixelSlotPauseMs);
}

void CControlPanel::ShowDirectRegister()
{
    const std::uint16_t data = Camera().ReadRegister(kDirectStartBank, kDirectStartIndex);
    SyncListTexts();
    m_ui->deviceAddressBox->setText(Hex(kDirectStartBank));
    m_ui->registerAddressBox->setText(Hex(kDirectStartIndex));
    m_ui->dataBox->setText(Hex(data));
}

} // namespace zarnix
