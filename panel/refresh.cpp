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

// The registers the read-back leaves out that the zoom controls show: zoom
// on/off, factor, pan and tilt.
constexpr std::uint8_t kZoomFirstEntry = 0x29, kZoomLastEntry = 0x2C;
constexpr std::uint8_t kManualFieldEntry = 0x48, kNoiseReductionEntry = 0x18;

// A check box that shows a register: checked when the bits under `mask` are `on`.
struct CCheckRow {
    QCheckBox* Ui::ControlPanel::*box;
    std::uint8_t entry;
    std::uint16_t mask;
    std::uint16_t on;
};
constexpr CCheckRow kChecks[] = {
    {&Ui::ControlPanel::mirrorCheck, 0x05, 1, 1},
    {&Ui::ControlPanel::vFlipCheck, 0x05, 2, 2},
    // Bit 0 set is the iris on; without a camera (0xFF) the box is cleared.
    {&Ui::ControlPanel::irisOffCheck, 0x30, 1, 0},
    // Zoom is on only for 1, not for any odd value.
    {&Ui::ControlPanel::zoomOnOffCheck, 0x29, 0xFFFF, 1},
    {&Ui::ControlPanel::dnrOnOffCheck, kNoiseReductionEntry, 1, 1},
    {&Ui::ControlPanel::dnrAutoCheck, kNoiseReductionEntry, 2, 2},
};

bool Shows(int which, std::uint8_t entry) { return which < 0 || which == entry; }

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
    const bool read = camera.ReadSettings(m_wComDelay).Ok();
    m_awSettings = camera.Shadow();
    m_abSettingKnown = camera.ReadWhole();
    // After a failed read-back the camera is not asked again.
    if (read)
        ReadZoomSettings(camera);
    ShowSettings(kEveryEntry);
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

// The read-back leaves out zoom on/off, zoom factor, pan and tilt; without them
// the zoom controls would show placeholders, and a click beside the zoom thumb
// would step from a factor the camera does not have.
void CControlPanel::ReadZoomSettings(CCameraControl& camera)
{
    for (std::uint8_t i = kZoomFirstEntry; i <= kZoomLastEntry; ++i) {
        const CReadResult zoom = camera.ReadRegisterChecked(kBankLiveMirror, i);
        if (zoom.Failed())
            return; // the adapter has told the operator; the rest stay unknown
        RecordSetting(i, zoom.value);
    }
}

void CControlPanel::ShowSettings(int which)
{
    using Show = void (CControlPanel::*)();
    // The lists a group at a time, in the order the refresh sets them, by the
    // entries each group shows.
    static constexpr struct {
        std::uint8_t entry;
        Show show;
    } kListGroups[] = {
        {0x08, &CControlPanel::ShowWhiteBalanceSettings}, {0x00, &CControlPanel::ShowShutterSettings},
        {0x25, &CControlPanel::ShowShutterSettings},      {0x26, &CControlPanel::ShowShutterSettings},
        {0x01, &CControlPanel::ShowSensUpSettings},       {0x20, &CControlPanel::ShowDayNightSettings},
        {0x21, &CControlPanel::ShowDayNightSettings},     {0x10, &CControlPanel::ShowBlcSettings},
        {0x11, &CControlPanel::ShowBlcSettings},          {0x13, &CControlPanel::ShowBlcSettings},
        {0x14, &CControlPanel::ShowBlcSettings},
    };
    Show shown = nullptr;
    for (const auto& group : kListGroups) {
        if (group.show != shown && Shows(which, group.entry)) {
            (this->*group.show)();
            shown = group.show;
        }
    }
    SyncListTexts();

    Ui::ControlPanel& ui = *m_ui;
    const auto& S = m_awSettings;
    for (const CSliderRow& row : SliderRows()) {
        const bool markerLow = row.action == ESliderAction::Marker && Shows(which, EntryOf(row.low));
        if (!Shows(which, EntryOf(row.command)) && !markerLow)
            continue;
        QSlider& slider = *(ui.*row.slider);
        const std::uint8_t entry = EntryOf(row.command);
        if (row.action == ESliderAction::Marker) {
            SetSlider(slider, row.minimum, row.maximum, Marker(S[entry], S[EntryOf(row.low)], row.minimum, row.maximum));
            continue;
        }
        SetSlider(slider, row.minimum, row.maximum, S[entry]);
        (ui.*row.box)->setText(Hex(S[entry]));
    }
    if (Shows(which, kManualFieldEntry)) {
        const bool evenField = S[kManualFieldEntry] != 0;
        ui.manualFieldEvenRadio->setChecked(evenField);
        ui.manualFieldOddRadio->setChecked(!evenField);
    }
    for (const CCheckRow& row : kChecks)
        if (Shows(which, row.entry))
            (ui.*row.box)->setChecked((S[row.entry] & row.mask) == row.on);
    if (Shows(which, kNoiseReductionEntry))
        Enable(NoiseReductionControls(), ui.dnrOnOffCheck->isChecked());
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
    IndexOf(ListId::WbMode) = m_awSettings[0x08];
    FillList(ListId::WbMode);
    SelectListIndex(*m_ui->wbModeList, IndexOf(ListId::WbMode));
    ApplyWhiteBalanceEnabling(IndexOf(ListId::WbMode));
}

void CControlPanel::ShowShutterSettings()
{
    std::int32_t& shutter = IndexOf(ListId::ShutterMode);
    shutter = ShutterCodeToIndex(m_awSettings[EntryOf(ESetCommand::SetShutterMode)]);
    IndexOf(ListId::MaxShutter) = m_awSettings[EntryOf(ESetCommand::SetMaxShutter)];
    IndexOf(ListId::MinShutter) = m_awSettings[EntryOf(ESetCommand::SetMinShutter)];
    FillList(ListId::ShutterMode);
    SelectListIndex(*m_ui->shutterModeList, shutter);
    // The limits only apply in limited automatic mode.
    Enable({m_ui->maxShutterList, m_ui->minShutterList}, shutter == kShutterLimitedAutoIndex);
    for (const ListId limit : {ListId::MaxShutter, ListId::MinShutter}) {
        FillList(limit);
        SelectListIndex(ListOf(limit), IndexOf(limit));
    }
}

void CControlPanel::ShowSensUpSettings()
{
    const std::uint16_t mode = m_awSettings[0x01];
    IndexOf(ListId::SensUpMode) = mode == kNotRead ? kSensUpUnread : mode;
    FillList(ListId::SensUpMode);
    SelectListIndex(*m_ui->sensUpModeList, IndexOf(ListId::SensUpMode));
}

void CControlPanel::ShowDayNightSettings()
{
    IndexOf(ListId::DnMode) = m_awSettings[0x20];
    IndexOf(ListId::ColourBurst) = m_awSettings[0x21];
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
    // Only the first window's registers are shown, whatever the mode.
    IndexOf(ListId::BlcMode) = m_awSettings[0x10];
    IndexOf(ListId::BlcGain) = m_awSettings[0x11];
    IndexOf(ListId::BlcWindowSize) = m_awSettings[0x14];
    IndexOf(ListId::BlcWindowPos) = m_awSettings[0x13];
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
