// The exit codes of a setup run that failed before or at the engine's
// start. Otherwise the process ends with the engine's own code (0 when no
// engine ran, or the user declined). README.md lists them.
#pragma once

namespace flows {

enum SetupExitCodes : int {
  // The package's trailer, a block or a name in its header is not what the
  // format allows.
  kExitDamagedPackage = 91,
  // The package's checksum does not match (or the package file is missing).
  kExitBadChecksum = 92,
  // The engine was unpacked but could not be started.
  kExitEngineNotStarted = 93,
};

}  // namespace flows
