// The client library's start routine: the same module resets as the server program's,
// without window, command line or program folder. It runs for every new PelorinClient,
// on the thread that creates it, because all module state exists once per thread.
#pragma once

namespace pelorin {

void StartLibrary();

}  // namespace pelorin
