// The COM object of the class PelorinClient: the dual interface _PelorinClient over one
// pelorin::PelorinClient. It only converts arguments, results and failures; the store
// client does the work.
#pragma once

#include "client/com/ComApi.h"

namespace pelorin::com {

// Creates an object and hands out the interface `iid` of it (the class factory's
// CreateInstance).
HRESULT CreatePelorinClientObject(REFIID iid, void** object);

}  // namespace pelorin::com
