// What the agent's check and update cycle ask of the running system: boxes
// and the stub window, files and the network, the product's process and the
// run of a new setup. The Windows host is flows/agent_host_win; the unit
// tests drive the same code through a scripted host.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/conditional.h"

namespace agent {

class AgentHost {
public:
  virtual ~AgentHost() = default;

  // --- Boxes (markup text; the .original's font, buttons and captions) ---
  // A question with Yes and No ("Confirm"); true for Yes.
  virtual bool Ask(const std::string& markup) = 0;
  // A notice with one button ("Attention").
  virtual void Notice(const std::string& markup) = 0;
  // An error box ("Error").
  virtual void ShowError(const std::string& markup) = 0;
  // The font of every later box.
  virtual void SetBoxFont(const std::string& face, int points, int charset) = 0;
  // The inform window over the stub window; true when it was confirmed.
  virtual bool ShowInformWindow(const std::string& title, const std::string& button, int charset,
                                int fontSize, const std::string& fontFace, int height, int width,
                                const std::string& link, const std::string& text) = 0;

  // --- The stub window and the listener ---
  // Keeps the thread's windows alive for `ms` milliseconds.
  virtual void Pump(int ms) = 0;
  virtual void ShowStubWindow(bool visible) = 0;
  virtual void SetProgressCaption(const std::string& text) = 0;
  // The short show of progress for a file taken from a folder: range 10,
  // ten steps 300 ms apart, then the reset.
  virtual void ShowCopyProgress() = 0;
  // Posts (code, value) to the registered listener, if any.
  virtual void Notify(int code, std::intptr_t value) = 0;
  // Ends the agent's message loop with exit code 0 (the remaining ticks ran
  // out).
  virtual void Quit() = 0;
  // Ends this agent through its window (the relaunched agent takes over).
  virtual void EndAgent() = 0;

  // --- Files ---
  virtual bool IsFile(const std::string& path) = 0;
  // The whole file, or at most `limit` bytes of it; false when unreadable.
  virtual bool ReadFile(const std::string& path, std::string& content,
                        std::size_t limit = SIZE_MAX) = 0;
  // Replaces the file as a whole (a crash leaves the old one or the new).
  virtual bool WriteFile(const std::string& path, std::string_view content) = 0;
  virtual bool CopyOver(const std::string& from, const std::string& to) = 0;
  virtual void RemoveFile(const std::string& path) = 0;
  // Removes what broken downloads into `target` left beside it: its
  // temporary files ("<target>.<digits>") and their resume notes.
  virtual void RemovePartialDownloads(const std::string& target) = 0;
  // Opens the file so that no one can write, rename or delete it until
  // ReleaseFile (one file at a time): what was checked is what runs. False
  // when it cannot be opened so (it is missing, or someone writes to it).
  virtual bool HoldFile(const std::string& path) = 0;
  virtual void ReleaseFile() = 0;

  // --- The network ---
  // The machine is online; `why` gets the system's reason when it is not.
  virtual bool IsOnline(std::string& why) = 0;
  // GET `url` into `target` (a full path), or into `content` when `target`
  // is empty; `error` is "" on success. `withWindow`: the stub window shows
  // the transfer. `request` bounds the body and may make the request
  // conditional; `answer` says whether it came back "not modified" (no
  // error, nothing written) and gives the answer's validators.
  virtual void Download(bool withWindow, const std::string& url, const std::string& target,
                        const http::DownloadRequest& request, std::string& error,
                        std::string& content, http::DownloadAnswer& answer) = 0;
  virtual bool DownloadAborted() = 0;
  virtual void ClearDownloadAbort() = 0;
  // The product token (unscrambled) in the header of the setup package at
  // `path`; "" when it is no readable package.
  virtual std::string SetupToken(const std::string& path) = 0;

  // --- Signed updates ---
  // `signature` (DER) is the signature of `content` by the vendor's key
  // (`keyHex`, as the package carries it).
  virtual bool SignatureMatches(const std::string& keyHex, const std::string& content,
                                const std::string& signature) = 0;
  // SHA-256 of the file as hex; "" when it cannot be read.
  virtual std::string FileSha256(const std::string& path) = 0;
  // Today's date in UTC, "YYYY-MM-DD" (a signed descriptor's Expires).
  virtual std::string UtcDate() = 0;

  // --- The product's process ---
  virtual std::string ExpandInstallVariables(const std::string& text, const std::string& targetDir,
                                             const std::string& sharedDir,
                                             const std::string& auxiliaryDir) = 0;
  virtual bool IsRunning(const std::string& program) = 0;
  virtual void PostClose(const std::string& program) = 0;
  virtual void PostQuit(const std::string& program) = 0;
  virtual void Terminate(const std::string& program) = 0;
  // Polls every 100 ms, pumping, until the program is gone; at most `ms`.
  virtual void WaitGone(const std::string& program, int ms) = 0;
  // Starts the program at `path` shown, its path quoted.
  virtual void StartProgram(const std::string& path) = 0;
  // Starts `commandLine` hidden.
  virtual void StartHidden(const std::string& commandLine) = 0;

  // --- The new setup ---
  // Unpacks `setupFile` into a temporary work folder, runs its engine with
  // `extraSwitch` and removes the folder. True only when the engine ran
  // and succeeded by the setup's rule (package/engine_result.h): took the
  // launch handshake and ended with 0, or ended with 0 or 3010 when the
  // setup was built with `--engine-result exit-code`.
  virtual bool RunSetup(const std::string& setupFile, const std::string& agentFileName,
                        bool withUserInterface, const std::string& extraSwitch) = 0;

  // The developer diagnostic mode is on.
  virtual bool DiagnosticMode() = 0;
  // Milliseconds since some start (wraps), for the log's timings.
  virtual std::uint32_t TickCount() = 0;
};

} // namespace agent
