// Sliders act on the thumb's release; value boxes on the operator's edit.
#include <QLineEdit>
#include <QSlider>

#include "panel/hex_text.h"
#include "panel/main_dialog.h"
#include "panel/main_window_layout.h"
#include "panel/slider_table.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;

// Horizontal scroll codes of the window framework.
enum EScrollCode : unsigned {
    kScrollLineLeft = 0,
    kScrollLineRight = 1,
    kScrollPageLeft = 2,
    kScrollPageRight = 3,
    kScrollThumbPosition = 4, // the thumb was let go after a drag: the only code that writes
    kScrollThumbTrack = 5,
    kScrollLeft = 6,
    kScrollRight = 7,
    kScrollEndScroll = 8,
};

// A slider's own step or page action, as the scroll code the framework reports.
unsigned ScrollCodeOf(int action)
{
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return kScrollLineRight;
    case QAbstractSlider::SliderSingleStepSub: return kScrollLineLeft;
    case QAbstractSlider::SliderPageStepAdd: return kScrollPageRight;
    case QAbstractSlider::SliderPageStepSub: return kScrollPageLeft;
    case QAbstractSlider::SliderToMinimum: return kScrollLeft;
    case QAbstractSlider::SliderToMaximum: return kScrollRight;
    case QAbstractSlider::SliderMove: return kScrollThumbTrack;
    default: return kScrollEndScroll;
    }
}

// The pixel-correction SU level as the camera's menu names it: 0 to 4 are x4 to x64.
const char* const kSuLevelLabels[] = {"x4", "x8", "x16", "x32", "x64"};
constexpr unsigned kSuLevelCount = std::size(kSuLevelLabels);

// The value boxes. A number at or above the limit is taken as the limit and the
// box then shows the limit text; a box with a floor takes it for 0. The limit
// texts are the window's own: not all of them are hexadecimal.
struct CBoxRow {
    int box;
    void (CDlg::*handler)();
    QString CDlg::*text;
    std::uint16_t limit;
    const char* limitText;
    std::uint16_t floor;     // 0: the box has none
    const char* floorText;
    int slider;              // 0: the box moves none and sends nothing
    ESetCommand command;
};

const CBoxRow kBoxRows[] = {
    {1009, &CDlg::OnChangeDigitalGainY, &CDlg::m_strDigitalGainY, 0xFF, "255", 0, nullptr, 1000,
     ESetCommand::SetDigitalGainY},
    {1010, &CDlg::OnChangeDigitalGainC, &CDlg::m_strDigitalGainC, 0xFF, "ff", 0, nullptr, 1001,
     ESetCommand::SetDigitalGainC},
    {1011, &CDlg::OnChangeBrightness, &CDlg::m_strBrightness, 0xFF, "ff", 0, nullptr, 1006,
     ESetCommand::SetBrightness},
    {1048, &CDlg::OnChangeAnalogGain, &CDlg::m_strAnalogGain, 0xFF, "ff", 0, nullptr, 1047,
     ESetCommand::SetAnalogGain},
    {1043, &CDlg::OnChangeAexReference, &CDlg::m_strAexRef, 0xFF, "ff", 0, nullptr, 1042,
     ESetCommand::SetAexReference},
    {1057, &CDlg::OnChangeLowLum, &CDlg::m_strLowLum, 0xFF, "ff", 0, nullptr, 1056,
     ESetCommand::SetLowLumSuppression},
    {1061, &CDlg::OnChange3dnrLevel, &CDlg::m_str3dnrLevel, 0xFF, "ff", 0, nullptr, 1060,
     ESetCommand::Set3dnrLevel},
    {1063, &CDlg::OnChange3dnrAgcStart, &CDlg::m_str3dnrAgcStart, 0xFF, "ff", 0, nullptr, 1062,
     ESetCommand::Set3dnrAgcStart},
    // Sharpness: the camera takes 0x00-0x1F and the slider stops there (31); the box keeps the window's own limit, 0x3F, so a typed 20-3f goes out as typed.
    {1020, &CDlg::OnChangeSharpness, &CDlg::m_strSharpness, 0x3F, "63", 0, nullptr, 1019,
     ESetCommand::SetSharpness},
    {1013, &CDlg::OnChangeDnDelay, &CDlg::m_strDnDelay, 0x3F, "63", 0, nullptr, 1007,
     ESetCommand::SetDayNightDelay},
    {1014, &CDlg::OnChangeDnStart, &CDlg::m_strDnStart, 0x64, "100", 0, nullptr, 1008,
     ESetCommand::SetDayNightStart},
    {1016, &CDlg::OnChangeDnStop, &CDlg::m_strDnStop, 0x64, "100", 0, nullptr, 1015,
     ESetCommand::SetDayNightStop},
    {1024, &CDlg::OnChangeHsblcLevel, &CDlg::m_strHsblcLevel, 8, "8", 0, nullptr, 1023,
     ESetCommand::SetHsblcLevel},
    {1069, &CDlg::OnChangeSuLevel, &CDlg::m_strSuLevel, 4, nullptr, 0, nullptr, 1068, ESetCommand::SetSuLevel},
    {1071, &CDlg::OnChangeDdLevel, &CDlg::m_strDdLevel, 6, "6", 1, "1", 1070, ESetCommand::SetDdLevel},
    {1085, &CDlg::OnChangeZoomFactor, &CDlg::m_strZoom, 0xFF, "ff", 1, " 1", 1082, ESetCommand::SetZoomFactor},
    {1086, &CDlg::OnChangePan, &CDlg::m_strPan, 0xC8, "c8", 0, nullptr, 1083, ESetCommand::SetPanPosition},
    {1087, &CDlg::OnChangeTilt, &CDlg::m_strTilt, 0xC8, "c8", 0, nullptr, 1084, ESetCommand::SetTiltPosition},
    {1025, &CDlg::OnChangeComDelay, &CDlg::m_strComDelay, 0xFF, "255", 0, nullptr, 0, {}},
};
// Boxes 1030, 1031 and 1065 only show their slider's value: typing there does nothing.

constexpr int kSuLevelBox = 1069;
constexpr int kComDelayBox = 1025;

const CBoxRow* FindBox(int box)
{
    for (const auto& row : kBoxRows)
        if (row.box == box)
            return &row;
    return nullptr;
}

} // namespace

void CMyQuorel_controller_r2_1Dlg::ConnectSliderHandlers()
{
    for (const auto& row : SliderRows()) {
        auto* slider = DlgItem<QSlider>(*this, row.slider);
        Q_ASSERT(slider != nullptr);
        // Keys, page clicks and tracking come as actions; letting go of a dragged
        // thumb comes only as the release.
        connect(slider, &QAbstractSlider::actionTriggered, this, [this, slider](int action) {
            OnHScroll(ScrollCodeOf(action), static_cast<unsigned>(slider->sliderPosition()), slider);
        });
        connect(slider, &QAbstractSlider::sliderReleased, this, [this, slider] {
            OnHScroll(kScrollThumbPosition, static_cast<unsigned>(slider->sliderPosition()), slider);
        });
    }
    // textEdited, not textChanged: the program's own box texts are never written again.
    for (const auto& row : kBoxRows) {
        auto* box = DlgItem<QLineEdit>(*this, row.box);
        Q_ASSERT(box != nullptr);
        connect(box, &QLineEdit::textEdited, this, row.handler);
    }
}

void CMyQuorel_controller_r2_1Dlg::OnHScroll(unsigned nSBCode, unsigned nPos, QSlider* pScrollBar)
{
    const CSliderRow* row = nullptr;
    for (const auto& candidate : SliderRows())
        if (Item(candidate.slider) == pScrollBar) {
            row = &candidate;
            break;
        }
    if (row == nullptr || nSBCode != kScrollThumbPosition)
        return; // the slider has moved its thumb itself

    const unsigned p = nPos;
    const auto value = static_cast<std::uint16_t>(p);
    const std::uint8_t entry = EntryOf(row->command);
    CCameraControl camera = Camera();
    switch (row->action) {
    case ESliderAction::Standard:
        this->*row->text = Hex(p);
        UpdateData(false);
        camera.Set(row->command, value);
        RecordSetting(entry, value);
        break;
    case ESliderAction::SuLevel:
        if (p < kSuLevelCount)
            this->*row->text = kSuLevelLabels[p];
        UpdateData(false);
        camera.Set(row->command, value);
        RecordSetting(entry, value);
        break;
    case ESliderAction::Marker: {
        UpdateData(false);
        this->*row->position = static_cast<std::int32_t>(p);
        WriteMarkerPair(row->command, static_cast<std::uint16_t>((p >> 8) & 3), row->low,
                        static_cast<std::uint16_t>(p & 0xFF));
        break;
    }
    case ESliderAction::Zoom:
        UpdateData(false);
        camera.Set(row->command, value);
        RecordSetting(entry, value);
        UpdateData(true);
        this->*row->text = Hex(m_awSettings[entry]);
        UpdateData(false);
        break;
    }
}

void CMyQuorel_controller_r2_1Dlg::ChangeValueBox(int boxId)
{
    const CBoxRow* row = FindBox(boxId);
    if (row == nullptr)
        return;
    UpdateData(true);
    QString& text = this->*row->text;
    const std::uint32_t n = HexTextValue(text);
    std::uint16_t value = n < row->limit ? static_cast<std::uint16_t>(n) : row->limit;
    if (row->floor != 0 && n == 0)
        value = row->floor;

    if (row->box == kSuLevelBox)
        text = kSuLevelLabels[value];
    else if (value == row->limit)
        text = row->limitText;
    else if (row->floor != 0 && value == row->floor)
        text = row->floorText;
    UpdateData(false);

    if (row->box == kComDelayBox) {
        m_wComDelay = value;
        return;
    }
    if (auto* slider = DlgItem<QSlider>(*this, row->slider))
        slider->setValue(value); // below or above the slider's range the thumb sits at the end
    RecordSetting(EntryOf(row->command), value);
    Camera().Set(row->command, value);
}

void CMyQuorel_controller_r2_1Dlg::OnChangeDigitalGainY() { ChangeValueBox(1009); }
void CMyQuorel_controller_r2_1Dlg::OnChangeDigitalGainC() { ChangeValueBox(1010); }
void CMyQuorel_controller_r2_1Dlg::OnChangeBrightness() { ChangeValueBox(1011); }
void CMyQuorel_controller_r2_1Dlg::OnChangeAnalogGain() { ChangeValueBox(1048); }
void CMyQuorel_controller_r2_1Dlg::OnChangeAexReference() { ChangeValueBox(1043); }
void CMyQuorel_controller_r2_1Dlg::OnChangeLowLum() { ChangeValueBox(1057); }
void CMyQuorel_controller_r2_1Dlg::OnChange3dnrLevel() { ChangeValueBox(1061); }
void CMyQuorel_controller_r2_1Dlg::OnChange3dnrAgcStart() { ChangeValueBox(1063); }
void CMyQuorel_controller_r2_1Dlg::OnChangeSharpness() { ChangeValueBox(1020); }
void CMyQuorel_controller_r2_1Dlg::OnChangeDnDelay() { ChangeValueBox(1013); }
void CMyQuorel_controller_r2_1Dlg::OnChangeDnStart() { ChangeValueBox(1014); }
void CMyQuorel_controller_r2_1Dlg::OnChangeDnStop() { ChangeValueBox(1016); }
void CMyQuorel_controller_r2_1Dlg::OnChangeHsblcLevel() { ChangeValueBox(1024); }
void CMyQuorel_controller_r2_1Dlg::OnChangeSuLevel() { ChangeValueBox(1069); }
void CMyQuorel_controller_r2_1Dlg::OnChangeDdLevel() { ChangeValueBox(1071); }
void CMyQuorel_controller_r2_1Dlg::OnChangeZoomFactor() { ChangeValueBox(1085); }
void CMyQuorel_controller_r2_1Dlg::OnChangePan() { ChangeValueBox(1086); }
void CMyQuorel_controller_r2_1Dlg::OnChangeTilt() { ChangeValueBox(1087); }
void CMyQuorel_controller_r2_1Dlg::OnChangeComDelay() { ChangeValueBox(1025); }

} // namespace zarnix
