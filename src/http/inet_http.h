// The HTTP client over WinINet (unit InetHTTP): whether the machine is
// online, the size of a resource, and the download of one resource into a
// file or a text while a progress object is driven and the thread's windows
// stay alive. WinINet is loaded on first use. Windows build only.
//
// Nothing here fails the caller: results are plain values and error texts
// ready for the markup message box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "http/prog_bar.h"
#include "http/conditional.h"

namespace http {

// InternetGetConnectedState succeeded. The variant gives the system's text
// for the last error when it did not, "" when it did.
bool IsInternetConnected();
bool IsInternetConnected(std::string& why);

// The Content-Length of `url` (as given, no "http://" added) from a HEAD
// request, redirects followed (at most kMaxRedirects); a server that
// refuses HEAD (405, 501) is asked with a GET. -1 when unknown, for an
// error status or when the URL cannot be opened. Traces
// "HTTP_GetFileSize=N  url".
std::int64_t HTTP_GetFileSize(const std::string& url);

// GET `url` into `targetFile` (a full path), or into `content` when
// `targetFile` is empty. `errorText` is "" on success. The body goes to
// targetFile + "." + a number first, and replaces the target only when it is
// complete (Content-Length reached, or without one the body ended normally);
// otherwise the target stays as it was and the temporary file is kept, with a
// note of the URL, length and validator beside it (resume_plan.h). The next
// attempt at the same target and URL asks for the rest and continues the file
// on a 206, or starts over on a 200; other temporary files of the target are
// deleted then. A body that ends short of its
// Content-Length is an error in text mode too (see IsDownloadComplete).
// URLs without a scheme get "http://". `window` (> 10) is shown first;
// `progress` may be nullptr. The loop ends early on IsDownloadAborted() or
// progress->cancelled ("Download Aborted").
//
// Bounded whatever the server does (transfer_bounds.h): redirects are
// followed here, at most kMaxRedirects; a body past BodyLimit(request.bounds) ends
// the transfer (an announced length past it, before the body); a transfer
// that receives nothing for the stall bound ("VANTOR_STALL_SECONDS", 60 s by
// default) ends. Each read takes what has arrived, and while the client
// waits for the network it services the thread's queue, so a close request
// is answered at once. One request per attempt: the length comes from the
// answer itself.
//
// With validators in request.ifChanged the request is conditional: a 304
// answer sets answer->notModified, with no error, no body and the target
// left alone. A complete answer gives its validators in answer->validators.
void HTTP_DownloadFile(HWND window, const std::string& url, const std::string& targetFile,
                       std::string& errorText, TProgBar* progress, std::string& content,
                       const DownloadRequest& request = {}, DownloadAnswer* answer = nullptr);

// Removes the temporary files earlier attempts at `target` left (the
// target's name, ".", digits) and their resume notes, except `keep` and its
// note; never the target itself nor other files that merely begin with its
// name.
void DeleteTemporaryFiles(const std::string& target, const std::string& keep);

// Closes the handles of a download in progress (from a window procedure
// that runs during the download's pumping); the download then ends.
void HTTP_CloseOpenHandles();

// Frees WinINet at program end; a later call loads it again.
void UnloadWinINet();

// Makes TProgBar pump through this thread's message queue (a pause of 0 is
// one service of the queue, at most every few ms) and kill display timers.
// WinMain calls it once.
void InstallMessagePump();

} // namespace http
