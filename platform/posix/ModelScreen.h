// The screen of the Linux window model. It has no pixels; its size is what GetScreenSize
// answers, so tests can put the same windows on screens of different sizes.
#pragma once

#include "platform/WindowPlacement.h"

namespace pelorin::platform::posix {

constexpr ScreenSize kDefaultModelScreen{1024, 768};

// Sets the size GetScreenSize answers from now on, for every thread. False, and nothing
// changed, unless both sides are positive.
bool SetModelScreenSize(ScreenSize size);

}  // namespace pelorin::platform::posix
