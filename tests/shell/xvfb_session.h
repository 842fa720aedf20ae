#pragma once
#include "support/xvfb_session.h"  // the shared helpers, now in tests/support
