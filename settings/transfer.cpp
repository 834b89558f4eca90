#include "settings/transfer.h"
