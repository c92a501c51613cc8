// Values of the settings accessor: the typed value, the arrays that carry a
// validity mark, and the joined form of a list of texts.
#pragma once

#include <cstdint>

#include "lib/collections.h"
#include "lib/text_string.h"
#include "platform/win_types.h"

namespace ZRK {

// An array that tells a failed read from an empty result: a new array is
// valid; a failed read or enumeration empties it and clears the mark. It is
// usable when it has elements or is valid. Copies carry the mark with them.
template <typename T>
class CMarkedArray : public CSharedArray<T> {
public:
    CMarkedArray() = default;
    // Shares the elements of a plain array; the mark is set.
    CMarkedArray(const CSharedArray<T>& other) : CSharedArray<T>(other) {}  // NOLINT

    bool IsValid() const noexcept { return m_bValid; }
    void SetValid(bool bValid) noexcept { m_bValid = bValid; }
    bool IsUsable() const noexcept { return this->GetSize() != 0 || m_bValid; }
    // The outcome of a failed read: no elements, mark cleared.
    void Invalidate() {
        this->RemoveAll();
        m_bValid = false;
    }

private:
    bool m_bValid = true;
};

using CByteArray = CMarkedArray<BYTE>;
using CTextList = CMarkedArray<CTextString>;

// Type codes of CAccessorValue (and of GetValueType).
enum : std::uint32_t {
    kValueNone = 'n',      // no value, or a registry type without a mapping
    kValueText = 's',      // REG_SZ, REG_EXPAND_SZ
    kValueBytes = 'b',     // REG_BINARY
    kValueDword = 'd',     // REG_DWORD: unsigned 32-bit
    kValueTextList = 'p',  // REG_MULTI_SZ, held in joined form
    kValueInt64 = 'i',     // REG_QWORD: signed 64-bit
};

// The type code of a registry type: 'n' for every type without a mapping.
std::uint32_t TypeCodeOfRegistryType(DWORD dwRegType) noexcept;

// The joined form of a list: backslash-caret between neighbours, every
// backslash byte inside a text doubled. Byte-wise, so that a double-byte
// character whose trail byte is 5Ch survives a round trip.
CTextString JoinTextList(const CReadCollection<CTextString>& list);
// The inverse: "\\\\" is one backslash, "\\^" separates; a backslash
// followed by anything else (or by nothing) is kept as a backslash. "" gives
// an empty list; a joined text always gives at least one text otherwise.
CTextList SplitTextList(const char* pszJoined);

class CAccessorValue {
public:
    // Type 'n', empty text, number 0, no bytes.
    CAccessorValue() = default;

    std::uint32_t GetType() const noexcept { return m_nType; }
    const CTextString& GetText() const noexcept { return m_strText; }
    std::int64_t GetNumber() const noexcept { return m_nNumber; }
    const CByteArray& GetBytes() const noexcept { return m_aBytes; }

    void SetNone();
    // 's' by default; a type code may be given for a raw setting (any code
    // other than the six is written as nothing by the accessor).
    void SetText(const char* psz, std::uint32_t nType = kValueText);
    void SetBytes(const CByteArray& bytes);
    void SetDword(std::uint32_t n);
    void SetInt64(std::int64_t n);
    // 'p' holding the list in joined form.
    void SetTextList(const CReadCollection<CTextString>& list);

    // 'b': upper-case hexadecimal of the bytes; 'd': "%u"; 'i': "%I64d";
    // 's' and 'p': the text; anything else: "".
    CTextString ToText() const;
    // 'b': the bytes; every other type: the hexadecimal reading of ToText().
    CByteArray ToBytes() const;
    // 'd' and 'i': the number; otherwise the text read as a signed decimal
    // (leading blanks and a sign allowed, stops at the first non-digit,
    // saturates at the 64-bit limits).
    std::int64_t ToInteger() const;
    // The list held by a 'p' value; an empty list for every other type.
    CTextList ToTextList() const;

private:
    std::uint32_t m_nType = kValueNone;
    CTextString m_strText;
    std::int64_t m_nNumber = 0;
    CByteArray m_aBytes;
};

}  // namespace ZRK
