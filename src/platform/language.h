// The user's language name as the language table spells it ("ENGLISH").
#pragma once

#include <string>

namespace platform {

std::string UserLanguageName();

}  // namespace platform
