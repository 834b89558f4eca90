// Sliders act on the thumb's release; value boxes on the operator's edit.
#include "panel/main_dialog.h"

namespace zarnix {

void CMyQuorel_controller_r2_1Dlg::ConnectSliderHandlers() {}

} // namespace zarnix
