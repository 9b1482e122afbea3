// The decisions of the download road: which file is the real setup, what
// the user is asked, whether a downloaded file belongs to this product, and
// what the agent executable written beside a web setup looks like.
#pragma once

#include <string>
#include <string_view>

#include "http/conditional.h"
#include "package/file_info.h"

namespace flows {

// Both packages carry the same DownloadInfo token (compared unscrambled,
// case-sensitive).
bool SameToken(const package::TGFileInfo& a, const package::TGFileInfo& b);

// The setup file is the one the stub was built for: the stub names no
// SHA-256 (built before hashes were written), or `fileSha256` is it.
// `fileSha256` is asked for only when needed (hashing a large file takes a
// while).
bool IsExpectedSetup(const package::TGFileInfo& own, std::string (*fileSha256)(const std::string&),
                     const std::string& setupFile);

// The agent executable from the stub's own file: an end marker inside the
// file with less than 10000 bytes after it (a signature) cuts the image
// there, so the trailer ends it again; then the agent byte (fifth from the
// end) is set.
std::string AgentExecutableImage(std::string image);

// Where the setup file is looked for: DownloadInfo's source, unless the
// source is not to be used as is and the setup lies beside the stub.
std::string ChooseDownloadSource(const package::TGFileInfo& own, const std::string& stubFolder,
                                 bool setupBesideStub);

// The download question with "<SIZE>" replaced by the size field in
// megabytes (a field that is not a number counts as 0).
std::string DownloadQuestion(std::string_view question, std::string_view sizeField);

// The setup's URL (or path) under the source.
std::string SetupUrl(std::string_view source, std::string_view setupFileName);

// The download's bounds: the setup may not pass the size the stub's header
// names for it (plus the client's margin); no bound when it names none.
http::DownloadRequest SetupDownloadRequest(std::string_view sizeField);

// The exit code of a failed download (flows/exit_codes.h); an abort is the
// user's cancel.
int DownloadExitCode(http::TransferFailure failure);

} // namespace flows
