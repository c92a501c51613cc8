// The language of the Linux program, from the environment as gettext reads
// it: Japanese for a Japanese user, English for everyone else.
#pragma once

#include <functional>
#include <string>

#include "lib/language.h"

namespace Tolvane {
namespace Ui {

// variable: the value of an environment variable, "" when unset.
// The messages' locale is the first set of LC_ALL, LC_MESSAGES and LANG.
// Unless that is C or POSIX (or unset), a set LANGUAGE decides instead: its
// first entry that names Japanese or English ("C" counts as English), or
// English when none does. A name that begins with "ja" is Japanese. Only
// the names count, not whether such a locale is installed.
ELanguage LanguageFromEnvironment(const std::function<std::string(const char* name)>& variable);

}  // namespace Ui
}  // namespace Tolvane
