#include "http/error_page.h"

#include "platform/file.h"
#include "util/text.h"

namespace http {

namespace {

// 1-based position of `what` in `text` (ASCII case ignored); 0 when absent.
std::size_t Pos(std::string_view text, std::string_view what) {
  const std::size_t at = util::FindNoCase(text, what);
  return at == util::npos ? 0 : at + 1;
}

} // namespace

bool IsHtmlErrorPage(const std::string& fileName, std::string& text) {
  if (!fileName.empty() && platform::FileExists(fileName)) {
    platform::InputFile in(fileName);
    char head[kErrorPageHead];
    text.assign(head, in.IsOpen() ? in.Read(head, sizeof head) : 0);
  }
  const std::string_view t = std::string_view(text).substr(0, kErrorPageHead);
  const std::size_t title = Pos(t, "<TITLE");
  const std::size_t code = Pos(t, "404");
  const std::size_t titleEnd = Pos(t, "</TITLE>");
  if (title > 0 && title < code && code < titleEnd) return true;
  const std::size_t html = Pos(t, "<HTML>");
  const std::size_t head = Pos(t, "<HEAD>");
  const std::size_t titleTag = Pos(t, "<TITLE>");
  return html > 0 && html < head && head < titleTag && titleTag < titleEnd;
}

void MakeNotFoundMessage(const std::string& fileName, const std::string& text,
                         const std::string& url, std::string& message, bool iisHint,
                         const std::string& defaultText) {
  message = defaultText;
  std::string head = text.substr(0, kErrorPageHead);
  if (!IsHtmlErrorPage(fileName, head)) return;
  message.assign("<B>404 File Not Found...</B><P><P>URL:  ")
      .append(url)
      .append(".<P><P>Please make sure the file is available and access is allowed to this file.");
  if (iisHint && util::FindNoCase(text, "IIS") != util::npos)
    message.append(
        "<P><P>If you are using an IIS webserver you must define appropriate MIME-Types.");
}

} // namespace http
