// errno to Winsock error numbers, in one place.
#pragma once

namespace pelorin::platform::posix {

int WinsockErrorFromErrno(int error);
// Records the calling thread's last socket error (Winsock numbering).
void SetLastSocketError(int winsockError);

}  // namespace pelorin::platform::posix
