// The fill routines of the window's lists: each rebuilds its list and reselects
// the entry its text member names.
#include "panel/drop_down_combo.h"
#include "panel/main_dialog.h"
#include "panel/option_lists.h"

namespace zarnix {

void CMyQuorel_controller_r2_1Dlg::FillShutterModeList() { FillList(*m_comboShutterMode, 1002, m_strShutterMode); }
void CMyQuorel_controller_r2_1Dlg::FillMaxShutterList() { FillList(*m_comboMaxShutter, 1035, m_strMaxShutter); }
void CMyQuorel_controller_r2_1Dlg::FillMinShutterList() { FillList(*m_comboMinShutter, 1045, m_strMinShutter); }
void CMyQuorel_controller_r2_1Dlg::FillSensUpModeList() { FillList(*m_comboSensUpMode, 1005, m_strSensUpMode); }
void CMyQuorel_controller_r2_1Dlg::FillDnModeList() { FillList(*m_comboDnMode, 1003, m_strDnMode); }
void CMyQuorel_controller_r2_1Dlg::FillColourBurstList() { FillList(*m_comboColourBurst, 1004, m_strColourBurst); }
void CMyQuorel_controller_r2_1Dlg::FillBlcModeList() { FillList(*m_comboBlcMode, 1021, m_strBlcMode); }
void CMyQuorel_controller_r2_1Dlg::FillBlcGainList() { FillList(*m_comboBlcGain, 1022, m_strBlcGain); }
void CMyQuorel_controller_r2_1Dlg::FillBlcWindowPosList()
{
    FillList(*m_comboBlcWindowPos, 1026, m_strBlcWindowPos);
}
void CMyQuorel_controller_r2_1Dlg::FillBlcWindowSizeList()
{
    FillList(*m_comboBlcWindowSize, 1036, m_strBlcWindowSize);
}
void CMyQuorel_controller_r2_1Dlg::FillWbModeList() { FillList(*m_comboWbMode, 1027, m_strWbMode); }

} // namespace zarnix
