// The File control group, SAVE, and the long operations that keep the window painting.
#include "panel/main_dialog.h"

namespace zarnix {

void CMyQuorel_controller_r2_1Dlg::ConnectFileControl() {}

} // namespace zarnix
