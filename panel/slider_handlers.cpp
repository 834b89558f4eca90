// Sliders act when the operator lets go of the thumb; value boxes on every edit.
#include <QLineEdit>
#include <QSlider>

#include "panel/control_panel.h"
#include "panel/hex_text.h"
#include "panel/panel_tables.h"
#include "ui_control_panel.h"

namespace zarnix {

namespace {

using UI = Ui::ControlPanel;
using A = ESliderAction;
using C = ESetCommand;

constexpr CSliderRow kSliders[] = {
    {&UI::digitalGainYSlider, 1, 255, A::Standard, C::SetDigitalGainY, &UI::digitalGainYBox},
    {&UI::digitalGainCSlider, 1, 255, A::Standard, C::SetDigitalGainC, &UI::digitalGainCBox},
    {&UI::analogGainSlider, 1, 255, A::Standard, C::SetAnalogGain, &UI::analogGainBox},
    {&UI::brightnessSlider, 0, 255, A::Standard, C::SetBrightness, &UI::brightnessBox},
    {&UI::hsblcLevelSlider, 0, 8, A::Standard, C::SetHsblcLevel, &UI::hsblcLevelBox},
    {&UI::sharpnessSlider, 0, 31, A::Standard, C::SetSharpness, &UI::sharpnessBox},
    {&UI::dnDelaySlider, 0, 63, A::Standard, C::SetDayNightDelay, &UI::dnDelayBox},
    {&UI::dnStartSlider, 0, 100, A::Standard, C::SetDayNightStart, &UI::dnStartBox},
    {&UI::dnStopSlider, 0, 100, A::Standard, C::SetDayNightStop, &UI::dnStopBox},
    {&UI::rGainSlider, 0, 100, A::Standard, C::SetRGain, &UI::rGainBox},
    {&UI::bGainSlider, 0, 100, A::Standard, C::SetBGain, &UI::bGainBox},
    {&UI::aexReferenceSlider, 1, 255, A::Standard, C::SetAexReference, &UI::aexReferenceBox},
    {&UI::lowLumSlider, 0, 255, A::Standard, C::SetLowLumSuppression, &UI::lowLumBox},
    {&UI::dnrLevelSlider, 0, 255, A::Standard, C::Set3dnrLevel, &UI::dnrLevelBox},
    {&UI::dnrAgcStartSlider, 0, 255, A::Standard, C::Set3dnrAgcStart, &UI::dnrAgcStartBox},
    {&UI::dnrAgcStopSlider, 0, 255, A::Standard, C::Set3dnrAgcStop, &UI::dnrAgcStopBox},
    {&UI::suLevelSlider, 0, 4, A::SuLevel, C::SetSuLevel, &UI::suLevelBox},
    {&UI::ddLevelSlider, 1, 6, A::Standard, C::SetDdLevel, &UI::ddLevelBox},
    // Marker positions on the sensor, in pixels and lines.
    {&UI::horMarkerSlider, 158, 909, A::Marker, C::SetHorMarkerHigh, nullptr, C::SetHorMarkerLow},
    {&UI::vertMarkerSlider, 19, 310, A::Marker, C::SetVertMarkerHigh, nullptr, C::SetVertMarkerLow},
    {&UI::zoomFactorSlider, 8, 255, A::Zoom, C::SetZoomFactor, &UI::zoomFactorBox},
    {&UI::panSlider, 0, 200, A::Zoom, C::SetPanPosition, &UI::panBox},
    {&UI::tiltSlider, 0, 200, A::Zoom, C::SetTiltPosition, &UI::tiltBox},
};

// Boxes rGainBox, bGainBox and dnrAgcStopBox only show their slider's value:
// the form makes them read-only.
constexpr CBoxRow kBoxes[] = {
    {&UI::digitalGainYBox, 0xFF, "255", 0, nullptr, &UI::digitalGainYSlider, C::SetDigitalGainY},
    {&UI::digitalGainCBox, 0xFF, "ff", 0, nullptr, &UI::digitalGainCSlider, C::SetDigitalGainC},
    {&UI::brightnessBox, 0xFF, "ff", 0, nullptr, &UI::brightnessSlider, C::SetBrightness},
    {&UI::analogGainBox, 0xFF, "ff", 0, nullptr, &UI::analogGainSlider, C::SetAnalogGain},
    {&UI::aexReferenceBox, 0xFF, "ff", 0, nullptr, &UI::aexReferenceSlider, C::SetAexReference},
    {&UI::lowLumBox, 0xFF, "ff", 0, nullptr, &UI::lowLumSlider, C::SetLowLumSuppression},
    {&UI::dnrLevelBox, 0xFF, "ff", 0, nullptr, &UI::dnrLevelSlider, C::Set3dnrLevel},
    {&UI::dnrAgcStartBox, 0xFF, "ff", 0, nullptr, &UI::dnrAgcStartSlider, C::Set3dnrAgcStart},
    // Sharpness: the camera takes 0x00-0x1F and the slider stops there (31); the box keeps the window's own limit, 0x3F, so a typed 20-3f goes out as typed.
    {&UI::sharpnessBox, 0x3F, "63", 0, nullptr, &UI::sharpnessSlider, C::SetSharpness},
    {&UI::dnDelayBox, 0x3F, "63", 0, nullptr, &UI::dnDelaySlider, C::SetDayNightDelay},
    {&UI::dnStartBox, 0x64, "100", 0, nullptr, &UI::dnStartSlider, C::SetDayNightStart},
    {&UI::dnStopBox, 0x64, "100", 0, nullptr, &UI::dnStopSlider, C::SetDayNightStop},
    {&UI::hsblcLevelBox, 8, "8", 0, nullptr, &UI::hsblcLevelSlider, C::SetHsblcLevel},
    {&UI::suLevelBox, 4, nullptr, 0, nullptr, &UI::suLevelSlider, C::SetSuLevel},
    {&UI::ddLevelBox, 6, "6", 1, "1", &UI::ddLevelSlider, C::SetDdLevel},
    {&UI::zoomFactorBox, 0xFF, "ff", 1, " 1", &UI::zoomFactorSlider, C::SetZoomFactor},
    {&UI::panBox, 0xC8, "c8", 0, nullptr, &UI::panSlider, C::SetPanPosition},
    {&UI::tiltBox, 0xC8, "c8", 0, nullptr, &UI::tiltSlider, C::SetTiltPosition},
    {&UI::comDelayBox, 0xFF, "255", 0, nullptr, nullptr, {}},
};

constexpr unsigned kSuLevelCount = std::size(kSuLevelLabels);

} // namespace

std::span<const CSliderRow> SliderRows() { return kSliders; }
std::span<const CBoxRow> BoxRows() { return kBoxes; }

void CControlPanel::OnSliderReleased(const CSliderRow& row)
{
    QSlider& slider = *(*m_ui.*row.slider);
    const auto p = static_cast<unsigned>(slider.sliderPosition());
    const auto value = static_cast<std::uint16_t>(p);
    const std::uint8_t entry = EntryOf(row.command);
    switch (row.action) {
    case ESliderAction::Standard:
    case ESliderAction::SuLevel:
        if (const QString text = SliderText(row, p); !text.isEmpty())
            (*m_ui.*row.box)->setText(text);
        Camera().Set(row.command, value);
        RecordSetting(entry, value);
        break;
    case ESliderAction::Marker:
        WriteMarkerPair(slider, static_cast<int>(p));
        break;
    case ESliderAction::Zoom:
        // The box shows what the window keeps of the register.
        Camera().Set(row.command, value);
        RecordSetting(entry, value);
        SyncListTexts();
        (*m_ui.*row.box)->setText(Hex(m_awSettings[entry]));
        break;
    }
}

QString CControlPanel::SliderText(const CSliderRow& row, unsigned position)
{
    if (row.action != ESliderAction::SuLevel)
        return Hex(position);
    return position < kSuLevelCount ? QString::fromLatin1(kSuLevelLabels[position]) : QString();
}

void CControlPanel::OnSliderDragged(const CSliderRow& row, int position)
{
    if (row.box)
        (*m_ui.*row.box)->setText(SliderText(row, static_cast<unsigned>(position)));
}

void CControlPanel::OnBoxEdited(const CBoxRow& row)
{
    SyncListTexts();
    QLineEdit& box = *(*m_ui.*row.box);
    // An emptied box holds no value; 0 would be below most sliders' range.
    if (box.text().isEmpty())
        return;
    const std::uint32_t n = HexTextValue(box.text());
    std::uint16_t value = n < row.limit ? static_cast<std::uint16_t>(n) : row.limit;
    if (row.floor != 0 && n == 0)
        value = row.floor;

    if (!row.limitText)
        box.setText(kSuLevelLabels[value]);
    else if (value == row.limit)
        box.setText(row.limitText);
    else if (row.floor != 0 && value == row.floor)
        box.setText(row.floorText);

    if (!row.slider) {
        m_wComDelay = value;
        return;
    }
    // Below or above the slider's range the thumb sits at the end.
    (*m_ui.*row.slider)->setValue(value);
    RecordSetting(EntryOf(row.command), value);
    Camera().Set(row.command, value);
}

} // namespace zarnix
