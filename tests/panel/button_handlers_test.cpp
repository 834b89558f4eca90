#include "panel_fixture.h"
