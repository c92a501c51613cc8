// The library's text type and its reference-counted owning handle.
//
// CTextString is a single pointer to the characters of a counted heap block
// {count, length, capacity, characters...}; copies share the block and a
// shared block is never written. CRefHandle<T> is a single pointer to a
// counted record {count, object}. Both use one static zero record as their
// empty state, so an empty value never allocates and never touches a count.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace ZRK {

// Header in front of the characters of every heap text block.
struct STextHeader {
    std::atomic<std::int32_t> nCount;  // sharing values; only changed atomically
    std::uint32_t nLength;             // bytes of text, terminating zero excluded
    std::uint32_t nCapacity;           // bytes of the character area, zero included
};
static_assert(sizeof(STextHeader) == 12, "the text header is three 32-bit words");

// The counted record behind a CRefHandle.
struct SRefRecord {
    std::atomic<std::int32_t> nCount;
    void* pObject;
};

// The shared empty record: zero-filled, never allocated, counted or freed.
// An empty CTextString points at szText (header {0, 0, 0} in front of a zero
// byte); an empty CRefHandle points at the record itself ({count 0, null}).
union UEmptyRecord {
    struct SText {
        STextHeader header;
        char szText[4];
    } text;
    SRefRecord handle;
    std::uint64_t auWords[4];

    constexpr UEmptyRecord() noexcept : auWords{} {}
};
extern UEmptyRecord g_zrkEmptyRecord;

// The largest capacity that the 32-bit header can describe.
constexpr std::uint32_t kMaxCapacity = 0xFFFFFFFFu;

// Length of zero-terminated text; 0 for a null pointer. A text of
// kMaxCapacity bytes or more gives kMaxCapacity, which no block can hold.
std::uint32_t StrLen(const char* psz) noexcept;

// Growth margin shared by strings and arrays: n / 8, at least 4, at most 1024.
constexpr std::uint32_t GrowthMargin(std::uint32_t n) noexcept {
    return n / 8 < 4 ? 4 : (n / 8 > 1024 ? 1024 : n / 8);
}

class CTextString;

namespace detail {
// Arguments of CTextString::Format pass through C varargs; text strings go
// as their character pointer, and anything else that a C formatter could
// not read is refused at compile time.
inline const char* FormatArg(const CTextString& s) noexcept;
template <typename T>
inline T FormatArg(T v) noexcept {
    static_assert(std::is_trivially_copyable<T>::value,
                  "only C types and CTextString can be formatted");
    return v;
}
}  // namespace detail

class CTextString {
public:
    CTextString() noexcept : m_psz(EmptyText()) {}
    CTextString(const char* psz);  // NOLINT: implicit like a C string
    // Copies psz and reserves room: nExtra == -1 gives capacity length + 1
    // exactly; otherwise (length + nExtra) plus the growth margin plus 1.
    CTextString(const char* psz, int nExtra);
    CTextString(const CTextString& other) noexcept;
    CTextString(CTextString&& other) noexcept : m_psz(other.m_psz) { other.m_psz = EmptyText(); }
    ~CTextString() { Release(); }

    CTextString& operator=(const CTextString& other) noexcept;
    CTextString& operator=(CTextString&& other) noexcept;
    CTextString& operator=(const char* psz);

    std::uint32_t GetLength() const noexcept { return IsEmptyRecord() ? 0 : Header()->nLength; }
    std::uint32_t GetCapacity() const noexcept { return IsEmptyRecord() ? 0 : Header()->nCapacity; }
    bool IsEmpty() const noexcept { return GetLength() == 0; }
    // Number of values sharing the block; 0 for the empty string.
    std::int32_t GetRefCount() const noexcept {
        return IsEmptyRecord() ? 0 : Header()->nCount.load(std::memory_order_relaxed);
    }

    // Never null.
    const char* GetString() const noexcept { return m_psz; }
    operator const char*() const noexcept { return m_psz; }  // NOLINT

    void Empty() noexcept { Release(); }

    CTextString& Append(const char* psz);
    CTextString& Append(char ch) {
        // Appending to a unique block with room is the common case of
        // building text character by character; keep it inline.
        if (ch != '\0' && !IsEmptyRecord()) {
            STextHeader* pHeader = Header();
            const std::uint32_t nLength = pHeader->nLength;
            if (pHeader->nCount.load(std::memory_order_acquire) == 1 &&
                pHeader->nCapacity > nLength + 1) {
                m_psz[nLength] = ch;
                m_psz[nLength + 1] = '\0';
                pHeader->nLength = nLength + 1;
                return *this;
            }
        }
        return AppendChar(ch);
    }
    CTextString& operator+=(const char* psz) { return Append(psz); }
    CTextString& operator+=(char ch) { return Append(ch); }
    CTextString& operator+=(const CTextString& s) { return Append(s.m_psz); }

    // Byte position of the first occurrence at or after nStart, counted from
    // the start of the string; -1 when absent, when nStart is negative or
    // beyond the length, and for the zero byte value. A null pattern is "".
    int Find(const char* pszPattern, int nStart = 0) const noexcept;
    int Find(char ch, int nStart = 0) const noexcept;
    // Last occurrence of a byte value, stepping over the trail byte of each
    // hit that is a double-byte lead byte; -1 when absent or for zero.
    int ReverseFind(char ch) const noexcept;

    static constexpr std::uint32_t kToEnd = 0xFFFFFFFFu;
    // Never splits a double-byte character at the end of the range.
    CTextString Mid(std::uint32_t nStart, std::uint32_t nCount = kToEnd) const;
    CTextString Left(std::uint32_t nCount) const { return Mid(0, nCount); }

    // Replaces every non-overlapping occurrence; returns the count. A result
    // whose size the header cannot hold throws CInvalidParamException.
    int Replace(const char* pszFrom, const char* pszTo);

    // Locale comparison under the user's default locale: -1, 0 or 1.
    int Compare(const char* psz) const;

    // Byte-exact equality (not the locale comparison of Compare).
    friend bool operator==(const CTextString& a, const CTextString& b) noexcept;
    friend bool operator==(const CTextString& a, const char* b) noexcept;
    friend bool operator==(const char* a, const CTextString& b) noexcept { return b == a; }
    friend bool operator!=(const CTextString& a, const CTextString& b) noexcept {
        return !(a == b);
    }
    friend bool operator!=(const CTextString& a, const char* b) noexcept { return !(a == b); }
    friend bool operator!=(const char* a, const CTextString& b) noexcept { return !(b == a); }

    // Unique writable area of at least n bytes, length set to 0; null for
    // n == 0 on the empty string. Write text, then call RecalcLength. An
    // area too large for the header throws CInvalidParamException.
    char* GetWritableBuffer(std::uint32_t n);
    void RecalcLength() noexcept;

    // printf-style formatting; %I64d, %I64u, %I64x... are accepted on every
    // platform. CTextString arguments may be passed directly for %s.
    template <typename... Args>
    static CTextString Format(const char* pszFormat, const Args&... args) {
        return FormatC(pszFormat, detail::FormatArg(args)...);
    }
    static CTextString FormatC(const char* pszFormat, ...);
    static CTextString FormatV(const char* pszFormat, va_list args);

private:
    static char* EmptyText() noexcept { return g_zrkEmptyRecord.text.szText; }
    bool IsEmptyRecord() const noexcept { return m_psz == EmptyText(); }
    STextHeader* Header() const noexcept { return Header(m_psz); }
    static STextHeader* Header(char* psz) noexcept {
        return reinterpret_cast<STextHeader*>(psz - sizeof(STextHeader));
    }
    // A new block of the given capacity holding the first nLength bytes of
    // psz (which may be null when nLength is 0).
    static char* NewBlock(std::uint32_t nCapacity, const char* psz, std::uint32_t nLength);
    static void ReleaseBlock(char* psz) noexcept;
    void Release() noexcept;
    void AppendBytes(const char* p, std::uint32_t n);
    CTextString& AppendChar(char ch);

    char* m_psz;
};

namespace detail {
inline const char* FormatArg(const CTextString& s) noexcept {
    return s.GetString();
}
}  // namespace detail

// Reference-counted owning handle. T may be an array type (char[]), whose
// object is freed with delete[]; otherwise the object is deleted, through
// its virtual destructor where T has one.
template <typename T>
class CRefHandle {
public:
    using element_type = std::remove_extent_t<T>;

    CRefHandle() noexcept : m_pRecord(EmptyRecord()) {}
    // Takes ownership of a new heap object; null gives the empty handle.
    explicit CRefHandle(element_type* pObject) : m_pRecord(EmptyRecord()) { Reset(pObject); }
    CRefHandle(const CRefHandle& other) noexcept : m_pRecord(EmptyRecord()) { Share(other); }
    CRefHandle(CRefHandle&& other) noexcept : m_pRecord(other.m_pRecord) {
        other.m_pRecord = EmptyRecord();
    }
    ~CRefHandle() { Release(); }

    CRefHandle& operator=(const CRefHandle& other) noexcept {
        Share(other);
        return *this;
    }
    CRefHandle& operator=(CRefHandle&& other) noexcept {
        if (this != &other) {
            Release();
            m_pRecord = other.m_pRecord;
            other.m_pRecord = EmptyRecord();
        }
        return *this;
    }

    // Releases the current object and takes ownership of pObject.
    void Reset(element_type* pObject = nullptr) {
        if (pObject != nullptr && pObject == Get()) {
            return;
        }
        SRefRecord* pRecord = EmptyRecord();
        if (pObject != nullptr) {
            // The old object stays held when the record cannot be made.
            try {
                pRecord = new SRefRecord;
            } catch (...) {
                Destroy(pObject);
                throw;
            }
            pRecord->nCount.store(1, std::memory_order_relaxed);
            pRecord->pObject = pObject;
        }
        Release();
        m_pRecord = pRecord;
    }

    void Release() noexcept {
        SRefRecord* pRecord = m_pRecord;
        if (pRecord == EmptyRecord()) {
            return;
        }
        m_pRecord = EmptyRecord();
        if (pRecord->nCount.fetch_sub(1, std::memory_order_acq_rel) - 1 <= 0) {
            Destroy(static_cast<element_type*>(pRecord->pObject));
            delete pRecord;
        }
    }

    element_type* Get() const noexcept {
        return m_pRecord == EmptyRecord() ? nullptr
                                          : static_cast<element_type*>(m_pRecord->pObject);
    }
    element_type* operator->() const noexcept { return Get(); }
    template <typename U = T, typename = std::enable_if_t<!std::is_array<U>::value>>
    U& operator*() const noexcept {
        return *Get();
    }
    bool IsEmpty() const noexcept { return Get() == nullptr; }
    explicit operator bool() const noexcept { return Get() != nullptr; }
    // Handles sharing the object; 0 when empty. Read with acquire ordering,
    // so that a holder who sees 1 also sees what the others did before
    // they let go.
    std::int32_t GetRefCount() const noexcept {
        return m_pRecord == EmptyRecord() ? 0 : m_pRecord->nCount.load(std::memory_order_acquire);
    }
    bool SharesWith(const CRefHandle& other) const noexcept { return m_pRecord == other.m_pRecord; }

private:
    static SRefRecord* EmptyRecord() noexcept { return &g_zrkEmptyRecord.handle; }
    static void Destroy(element_type* p) noexcept {
        if constexpr (std::is_array<T>::value) {
            delete[] p;
        } else {
            delete p;
        }
    }
    void Share(const CRefHandle& other) noexcept {
        if (m_pRecord == other.m_pRecord) {
            return;
        }
        if (other.Get() == nullptr) {
            Release();
            return;
        }
        SRefRecord* pRecord = other.m_pRecord;
        // Take the new share before dropping the old one, so that releasing
        // our old record can never free the one we are about to share.
        std::int32_t nExpected = 1;
        if (!pRecord->nCount.compare_exchange_strong(nExpected, 2, std::memory_order_acq_rel)) {
            pRecord->nCount.fetch_add(1, std::memory_order_acq_rel);
        }
        Release();
        m_pRecord = pRecord;
    }

    SRefRecord* m_pRecord;
};

}  // namespace ZRK
