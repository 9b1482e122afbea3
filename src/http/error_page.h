// Recognising an HTML page that a server sent in place of the resource
// (a "404" page with status 200), and the user message for it. Neither
// resource of this program is ever HTML, so any well-formed page counts.
#pragma once

#include <string>

namespace http {

inline constexpr std::size_t kErrorPageHead = 1000;

// When `fileName` names an existing file, `text` is replaced by its first
// 1000 bytes. Of `text`, only the first 1000 characters are examined
// (ASCII case ignored): true for a title holding "404"
// ("<TITLE" before "404" before "</TITLE>"), or for "<HTML>" before "<HEAD>"
// before "<TITLE>" before "</TITLE>".
bool IsHtmlErrorPage(const std::string& fileName, std::string& text);

// `message` is `defaultText`, or the 404 message for `url` when
// IsHtmlErrorPage(fileName, text) holds; with `iisHint`, a hint on MIME types
// is added when "IIS" occurs in `text` as passed.
void MakeNotFoundMessage(const std::string& fileName, const std::string& text,
                         const std::string& url, std::string& message, bool iisHint,
                         const std::string& defaultText);

} // namespace http
