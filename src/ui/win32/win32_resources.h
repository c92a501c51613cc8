// The program's language on Windows and its resources in that language.
// The resource script holds each dialog and string twice, in Japanese
// (0411) and in English (0409); the program decides its language once, as
// Windows itself would pick between the two, and then loads each resource
// in that language by name, so that what it shows does not depend on the
// loader's own list of preferred languages.
#pragma once

#include <cstddef>
#include <string>

#include "lib/language.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Win32 {

// The language of this user's Windows display (GetUserDefaultUILanguage):
// Japanese when its primary language is Japanese, whatever its
// sub-language; English for every other language.
ELanguage UserLanguage();

// The dialog template id of module in language; null when the module has
// it in neither that language nor Japanese.
const DLGTEMPLATE* DialogTemplate(HINSTANCE module, UINT id, ELanguage language);
// String id of module's string table in language; empty when missing.
std::wstring LoadStringIn(HINSTANCE module, UINT id, ELanguage language);

// String index (0 to 15) of a string-table block of units UTF-16 units:
// sixteen strings, each a length unit and that many units. Empty when the
// block ends before the string does.
std::wstring StringOfBlock(const wchar_t* block, std::size_t units, UINT index);

}  // namespace Win32
}  // namespace Tolvane
