#include "platform/language.h"

namespace platform {

// Until the thread-locale lookup is wired in, every user reads English.
std::string UserLanguageName() { return "ENGLISH"; }

}  // namespace platform
