// Push buttons, check boxes and the pixel-correction panel.
#include "panel/main_dialog.h"

namespace zarnix {

void CMyQuorel_controller_r2_1Dlg::ConnectButtonHandlers() {}

} // namespace zarnix
