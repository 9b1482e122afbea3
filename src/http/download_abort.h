// The abort flag of transfers: set by a close request on the stub window,
// tested by downloads and long waits.
#pragma once

namespace http {

void SetDownloadAbort(bool aborted);
bool IsDownloadAborted();

}  // namespace http
