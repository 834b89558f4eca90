#include "panel/option_lists.h"
