#include "flows/download_road.h"

#include "flows/exit_codes.h"
#include "package/format.h"
#include "package/trailer.h"
#include "package/work_folder.h"
#include "trust/update_signature.h"
#include "util/text.h"

namespace flows {

using namespace package;

bool SameToken(const TGFileInfo& a, const TGFileInfo& b) {
  return a.DownloadToken(true) == b.DownloadToken(true);
}

bool IsExpectedSetup(const TGFileInfo& own, std::string (*fileSha256)(const std::string&),
                     const std::string& setupFile) {
  const std::string expected = own.DownloadSha256();
  return expected.empty() || trust::SameSha256Text(expected, fileSha256(setupFile));
}

std::string AgentExecutableImage(std::string image) {
  const std::int64_t end = PackageEndFromImage(image);
  const auto length = static_cast<std::int64_t>(image.size());
  // A marker of 0 means "no marker": cutting there would leave nothing.
  if (end > 0 && end < length && length - end < 10000) image.resize(static_cast<std::size_t>(end));
  if (image.size() >= 6) image[image.size() - 5] = 1;
  return image;
}

std::string ChooseDownloadSource(const TGFileInfo& own, const std::string& stubFolder,
                                 bool setupBesideStub) {
  if (!own.UseSourceAsIs() && setupBesideStub) return stubFolder;
  return own.DownloadSource();
}

std::string DownloadQuestion(std::string_view question, std::string_view sizeField) {
  const std::int64_t bytes = util::StrToInt64Def(sizeField, 0);
  return util::ReplaceAll(question, "<SIZE>", FormatMegabytes(static_cast<double>(bytes)));
}

std::string SetupUrl(std::string_view source, std::string_view setupFileName) {
  std::string url(source);
  url += '/';
  url += setupFileName;
  return url;
}

http::DownloadRequest SetupDownloadRequest(std::string_view sizeField) {
  http::DownloadRequest request;
  const std::int64_t size = util::StrToInt64Def(sizeField, 0);
  if (size > 0) request.bounds.expected = static_cast<std::uint64_t>(size);
  return request;
}

int DownloadExitCode(http::TransferFailure failure) {
  switch (failure) {
  case http::TransferFailure::kNone:
    return 0;
  case http::TransferFailure::kNoConnection:
    return kExitNoConnection;
  case http::TransferFailure::kHttpStatus:
    return kExitHttpStatus;
  case http::TransferFailure::kAborted:
    return kExitCancelled;
  case http::TransferFailure::kTransfer:
    break;
  }
  return kExitDownloadIncomplete;
}

} // namespace flows
