// The exit codes of a setup run that failed before or at the engine's
// start. Otherwise the process ends with the engine's own code (0 when the
// package names no engine). README.md lists them.
#pragma once

namespace flows {

enum SetupExitCodes : int {
  // The package's trailer, a block, a volume or a name in it is not what
  // the format allows (a file name Windows would not write as given, too).
  kExitDamagedPackage = 91,
  // The package's checksum does not match, or the package file or one of
  // its volumes is missing (a run under "/hide" asks nobody for a disk).
  kExitBadChecksum = 92,
  // The engine was unpacked but could not be started.
  kExitEngineNotStarted = 93,
  // A file of the package could not be written (a full disk, a file in use).
  kExitWriteFailed = 94,
  // The user declined the space question or cancelled a disk prompt: the
  // code installers report for a user's cancel (ERROR_INSTALL_USEREXIT).
  kExitCancelled = 1602,
};

}  // namespace flows
