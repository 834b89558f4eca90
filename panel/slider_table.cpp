#include "panel/slider_table.h"

namespace zarnix {

namespace {

using CDlg = CMyQuorel_controller_r2_1Dlg;
using A = ESliderAction;
using C = ESetCommand;

const CSliderRow kSliders[] = {
    {1000, 1, 255, A::Standard, C::SetDigitalGainY, &CDlg::m_strDigitalGainY},
    {1001, 1, 255, A::Standard, C::SetDigitalGainC, &CDlg::m_strDigitalGainC},
    {1047, 1, 255, A::Standard, C::SetAnalogGain, &CDlg::m_strAnalogGain},
    {1006, 0, 255, A::Standard, C::SetBrightness, &CDlg::m_strBrightness},
    {1023, 0, 8, A::Standard, C::SetHsblcLevel, &CDlg::m_strHsblcLevel},
    {1019, 0, 31, A::Standard, C::SetSharpness, &CDlg::m_strSharpness},
    {1007, 0, 63, A::Standard, C::SetDayNightDelay, &CDlg::m_strDnDelay},
    {1008, 0, 100, A::Standard, C::SetDayNightStart, &CDlg::m_strDnStart},
    {1015, 0, 100, A::Standard, C::SetDayNightStop, &CDlg::m_strDnStop},
    {1028, 0, 100, A::Standard, C::SetRGain, &CDlg::m_strRGain},
    {1029, 0, 100, A::Standard, C::SetBGain, &CDlg::m_strBGain},
    {1042, 1, 255, A::Standard, C::SetAexReference, &CDlg::m_strAexRef},
    {1056, 0, 255, A::Standard, C::SetLowLumSuppression, &CDlg::m_strLowLum},
    {1060, 0, 255, A::Standard, C::Set3dnrLevel, &CDlg::m_str3dnrLevel},
    {1062, 0, 255, A::Standard, C::Set3dnrAgcStart, &CDlg::m_str3dnrAgcStart},
    {1064, 0, 255, A::Standard, C::Set3dnrAgcStop, &CDlg::m_str3dnrAgcStop},
    {1068, 0, 4, A::SuLevel, C::SetSuLevel, &CDlg::m_strSuLevel},
    {1070, 1, 6, A::Standard, C::SetDdLevel, &CDlg::m_strDdLevel},
    // Marker positions on the sensor, in pixels and lines.
    {1078, 158, 909, A::Marker, C::SetHorMarkerHigh, nullptr, C::SetHorMarkerLow, &CDlg::m_nHorMarker},
    {1079, 19, 310, A::Marker, C::SetVertMarkerHigh, nullptr, C::SetVertMarkerLow, &CDlg::m_nVertMarker},
    {1082, 8, 255, A::Zoom, C::SetZoomFactor, &CDlg::m_strZoom},
    {1083, 0, 200, A::Zoom, C::SetPanPosition, &CDlg::m_strPan},
    {1084, 0, 200, A::Zoom, C::SetTiltPosition, &CDlg::m_strTilt},
};

} // namespace

std::span<const CSliderRow> SliderRows() { return kSliders; }

const CSliderRow* FindSliderRow(int slider)
{
    for (const auto& row : kSliders)
        if (row.slider == slider)
            return &row;
    return nullptr;
}

} // namespace zarnix
