#include "http/download_abort.h"

namespace http {

namespace {
bool g_downloadAborted = false;  // DownloadAborted
}

void SetDownloadAbort(bool aborted) { g_downloadAborted = aborted; }
bool IsDownloadAborted() { return g_downloadAborted; }

}  // namespace http
