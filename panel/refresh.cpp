// Start-up, the address search and the refresh that sets every control from the
// camera's live settings.
#include <algorithm>
#include <bitset>

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

// What a list shows for a register the camera did not hand back (kNotRead), or
// holds at or above a limit.
struct CListSubstitute {
    ListId list;
    std::uint16_t from;
    bool orAbove;
    std::uint16_t to;
};
constexpr CListSubstitute kListSubstitutes[] = {
    {ListId::SensUpMode, kNotRead, false, 3},
    {ListId::DnMode, kNotRead, false, 2},
    {ListId::ColourBurst, kNotRead, false, 1},
    {ListId::BlcMode, 8, true, 0},
    {ListId::BlcGain, 4, true, 1},
    {ListId::BlcWindowPos, kBlcWindowCodeLimit, true, kWindowPosReplacementCode},
    {ListId::BlcWindowSize, kBlcWindowCodeLimit, true, kWindowSizeReplacementCode},
};

std::uint16_t CodeShown(ListId list, std::uint16_t code)
{
    for (const CListSubstitute& row : kListSubstitutes)
        if (row.list == list && (code == row.from || (row.orAbove && code > row.from)))
            return row.to;
    return code;
}

// The lists a group at a time, in the order the refresh sets them: a register
// written by hand shows its whole group again. Only the first BLC window's
// registers are shown, whatever the mode.
enum EListGroup { kWhiteBalanceGroup, kShutterGroup, kSensUpGroup, kDayNightGroup, kBlcGroup, kListGroupCount };
constexpr std::pair<ListId, EListGroup> kListGroups[] = {
    {ListId::WbMode, kWhiteBalanceGroup}, {ListId::ShutterMode, kShutterGroup},
    {ListId::MaxShutter, kShutterGroup},  {ListId::MinShutter, kShutterGroup},
    {ListId::SensUpMode, kSensUpGroup},   {ListId::DnMode, kDayNightGroup},
    {ListId::ColourBurst, kDayNightGroup}, {ListId::BlcMode, kBlcGroup},
    {ListId::BlcGain, kBlcGroup},         {ListId::BlcWindowSize, kBlcGroup},
    {ListId::BlcWindowPos, kBlcGroup},
};

void SetSlider(QSlider& slider, int minimum, int maximum, int position)
{
    slider.setRange(minimum, maximum);
    slider.setValue(position); // Qt keeps a value outside the range at the nearer end
}

// The registers the read-back leaves out that the zoom controls show: zoom
// on/off, factor, pan and tilt, one after the other.
constexpr ESetCommand kZoomFirst = ESetCommand::SetZoomOnOff, kZoomLast = ESetCommand::SetTiltPosition;

// A check box that shows a register: checked when the bits under `mask` are `on`.
struct CCheckRow {
    QCheckBox* Ui::ControlPanel::*box;
    ESetCommand command;
    std::uint16_t mask;
    std::uint16_t on;
};
constexpr CCheckRow kChecks[] = {
    {&Ui::ControlPanel::mirrorCheck, ESetCommand::SetScanningMode, 1, 1},
    {&Ui::ControlPanel::vFlipCheck, ESetCommand::SetScanningMode, 2, 2},
    // Bit 0 set is the iris on; without a camera (0xFF) the box is cleared.
    {&Ui::ControlPanel::irisOffCheck, ESetCommand::SetIris, 1, 0},
    // Zoom is on only for 1, not for any odd value.
    {&Ui::ControlPanel::zoomOnOffCheck, ESetCommand::SetZoomOnOff, 0xFFFF, 1},
    {&Ui::ControlPanel::dnrOnOffCheck, ESetCommand::Set3dnrMode, 1, 1},
    {&Ui::ControlPanel::dnrAutoCheck, ESetCommand::Set3dnrMode, 2, 2},
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
    m_awSettings[EntryOf(ESetCommand::SetManualField)] = kManualFieldEven;
    m_context.clock.Pause(kFieldPauseMs);

    ShowDirectRegister();
}

// The read-back leaves out zoom on/off, zoom factor, pan and tilt; without them
// the zoom controls would show placeholders, and a click beside the zoom thumb
// would step from a factor the camera does not have.
void CControlPanel::ReadZoomSettings(CCameraControl& camera)
{
    for (std::uint8_t i = EntryOf(kZoomFirst); i <= EntryOf(kZoomLast); ++i) {
        const CReadResult zoom = camera.ReadRegisterChecked(kBankLiveMirror, i);
        if (zoom.Failed())
            return; // the adapter has told the operator; the rest stay unknown
        RecordSetting(i, zoom.value);
    }
}

void CControlPanel::ShowSettings(int which)
{
    ShowLists(which);
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
    if (const std::uint8_t field = EntryOf(ESetCommand::SetManualField); Shows(which, field)) {
        const bool evenField = S[field] != 0;
        ui.manualFieldEvenRadio->setChecked(evenField);
        ui.manualFieldOddRadio->setChecked(!evenField);
    }
    for (const CCheckRow& row : kChecks)
        if (Shows(which, EntryOf(row.command)))
            (ui.*row.box)->setChecked((S[EntryOf(row.command)] & row.mask) == row.on);
    if (Shows(which, EntryOf(ESetCommand::Set3dnrMode)))
        Enable(NoiseReductionControls(), ui.dnrOnOffCheck->isChecked());
}

void CControlPanel::ShowLists(int which)
{
    std::bitset<kListGroupCount> shown;
    for (const auto& [list, group] : kListGroups)
        if (Shows(which, ListEntry(list)))
            shown.set(group);
    for (const auto& [list, group] : kListGroups) {
        if (shown[group]) {
            CodeOf(list) = CodeShown(list, m_awSettings[ListEntry(list)]);
            ShowListCode(list);
        }
    }
    if (shown[kWhiteBalanceGroup])
        ApplyWhiteBalanceEnabling(*CodeOf(ListId::WbMode));
    if (shown[kShutterGroup])
        EnableShutterLimits();
}

void CControlPanel::ApplyWhiteBalanceEnabling(std::uint16_t mode)
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
