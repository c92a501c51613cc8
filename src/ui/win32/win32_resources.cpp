#include "ui/win32/win32_resources.h"

#include <windows.h>

namespace Tolvane {
namespace Win32 {

namespace {

// RT_DIALOG and RT_STRING (the headers' macros are narrow ones here).
constexpr WORD kDialogType = 5;
constexpr WORD kStringType = 6;

WORD ResourceLanguage(ELanguage language) {
    return language == ELanguage::kJapanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                            : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

// The data of resource (type, name) in language, and its size in bytes.
// A resource that the program lacks in that language is taken in Japanese,
// the language every resource has had from the start, rather than showing
// nothing. Null when it is in neither.
const void* LockedResource(HINSTANCE module, WORD type, WORD name, ELanguage language,
                           DWORD* size) {
    HRSRC found = ::FindResourceExW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name),
                                    ResourceLanguage(language));
    if (found == nullptr && language != ELanguage::kJapanese) {
        found = ::FindResourceExW(module, MAKEINTRESOURCEW(type), MAKEINTRESOURCEW(name),
                                  ResourceLanguage(ELanguage::kJapanese));
    }
    if (found == nullptr) {
        return nullptr;
    }
    const HGLOBAL loaded = ::LoadResource(module, found);
    if (loaded == nullptr) {
        return nullptr;
    }
    *size = ::SizeofResource(module, found);
    return ::LockResource(loaded);
}

}  // namespace

ELanguage UserLanguage() {
    return PRIMARYLANGID(::GetUserDefaultUILanguage()) == LANG_JAPANESE ? ELanguage::kJapanese
                                                                        : ELanguage::kEnglish;
}

const DLGTEMPLATE* DialogTemplate(HINSTANCE module, UINT id, ELanguage language) {
    DWORD size = 0;
    return static_cast<const DLGTEMPLATE*>(
        LockedResource(module, kDialogType, static_cast<WORD>(id), language, &size));
}

std::wstring LoadStringIn(HINSTANCE module, UINT id, ELanguage language) {
    // String id is string id % 16 of block id / 16 + 1.
    DWORD size = 0;
    const void* block =
        LockedResource(module, kStringType, static_cast<WORD>(id / 16 + 1), language, &size);
    if (block == nullptr) {
        return std::wstring();
    }
    return StringOfBlock(static_cast<const wchar_t*>(block), size / sizeof(wchar_t), id % 16);
}

std::wstring StringOfBlock(const wchar_t* block, std::size_t units, UINT index) {
    std::size_t at = 0;
    for (UINT string = 0; string < 16; ++string) {
        if (at >= units) {
            break;
        }
        const std::size_t length = static_cast<WORD>(block[at++]);
        if (length > units - at) {
            break;
        }
        if (string == index) {
            return std::wstring(block + at, length);
        }
        at += length;
    }
    return std::wstring();
}

}  // namespace Win32
}  // namespace Tolvane
