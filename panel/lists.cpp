#include "panel/main_dialog.h"
