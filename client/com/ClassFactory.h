// The class factory of PelorinClient, as DllGetClassObject hands it out.
#pragma once

#include "client/com/ComApi.h"

namespace pelorin::com {

HRESULT GetPelorinClientFactory(REFIID iid, void** factory);

}  // namespace pelorin::com
