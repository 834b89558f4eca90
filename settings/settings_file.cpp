#include "settings/settings_file.h"
