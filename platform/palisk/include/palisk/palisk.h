// Palisk: the DirectUI library the desktop program is written against,
// built on Qt 6 Widgets.
#pragma once

#include "palisk/controls.h"
#include "palisk/manager.h"
#include "palisk/services.h"
#include "palisk/string.h"
#include "palisk/types.h"
#include "palisk/window.h"
