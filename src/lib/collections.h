// The library's container: a copy-on-write, lockable dynamic array reached
// through layered collection interfaces, with comparators, element tests
// and serialization.
//
//   CSyncBase <- CReadCollection<T> <- CWriteCollection<T> <- CSharedArray<T>
//
// Copies of a CSharedArray share one counted CArrayBuffer until one of them
// writes. Misuse throws the exceptions of exceptions.h (bad index, null
// object, invalid stream, unsupported operation) or returns -1 / false, as
// each operation says.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "lib/exceptions.h"
#include "lib/sync.h"
#include "lib/text_string.h"

namespace ZRK {

// Orders two elements: negative when a sorts first, 0 when equal.
template <typename T>
class CComparator {
public:
    virtual ~CComparator() = default;
    virtual int Compare(const T& a, const T& b) const = 0;
    virtual bool IsEqual(const T& a, const T& b) const { return Compare(a, b) == 0; }
};

// Objects that compare themselves with another of their kind. Element
// classes deriving from CComparable<Self> get a default comparator that
// calls a.Compare(b).
template <typename T>
class CComparable {
public:
    virtual ~CComparable() = default;
    // Negative when this object sorts first, 0 when equal, positive otherwise.
    virtual std::int32_t Compare(const T& other) const = 0;
    virtual bool IsEqual(const T& other) const { return Compare(other) == 0; }
};

// Condition for RemoveIf.
template <typename T>
class CElementTest {
public:
    virtual ~CElementTest() = default;
    virtual bool IsMatch(const T& element) const = 0;
};

// Stream of 32-bit words and bytes that collections are written to and read
// from. Reading past the available data throws CInvalidParamException.
class CSerializer {
public:
    virtual ~CSerializer() = default;
    virtual void WriteWord(std::uint32_t nWord) = 0;
    virtual std::uint32_t ReadWord() = 0;
    virtual void WriteBytes(const void* p, std::uint32_t n) = 0;
    virtual void ReadBytes(void* p, std::uint32_t n) = 0;
};

// A serializer over a byte vector in memory; words are little-endian.
class CMemorySerializer : public CSerializer {
public:
    CMemorySerializer() = default;
    explicit CMemorySerializer(std::vector<std::uint8_t> data) : m_data(std::move(data)) {}

    void WriteWord(std::uint32_t nWord) override;
    std::uint32_t ReadWord() override;
    void WriteBytes(const void* p, std::uint32_t n) override;
    void ReadBytes(void* p, std::uint32_t n) override;

    const std::vector<std::uint8_t>& GetData() const noexcept { return m_data; }
    std::size_t GetReadPosition() const noexcept { return m_nRead; }
    void Rewind() noexcept { m_nRead = 0; }

private:
    std::vector<std::uint8_t> m_data;
    std::size_t m_nRead = 0;
};

// Objects that can be written to and read from a serializer.
class CSerializable {
public:
    virtual ~CSerializable() = default;
    virtual void Serialize(CSerializer& serializer) const = 0;
    virtual void Deserialize(CSerializer& serializer) = 0;
};

// How elements of a type are written and read. Types without a serialized
// form (everything that is neither arithmetic nor CTextString, unless it
// specializes this template) throw CNotSupportException.
template <typename T, typename Enable = void>
struct CElementSerializer {
    static void Write(CSerializer& /*serializer*/, const T& /*value*/) {
        throw CNotSupportException(0);
    }
    static T Read(CSerializer& /*serializer*/) { throw CNotSupportException(0); }
};

template <typename T>
struct CElementSerializer<T, std::enable_if_t<std::is_arithmetic<T>::value>> {
    // Integers as little-endian bytes, independent of the host's order;
    // other arithmetic types as their bytes.
    static void Write(CSerializer& serializer, const T& value) {
        std::uint8_t bytes[sizeof(T)];
        if constexpr (kInteger) {
            std::uint64_t u = static_cast<std::uint64_t>(static_cast<Unsigned>(value));
            for (std::size_t i = 0; i < sizeof(T); ++i) {
                bytes[i] = static_cast<std::uint8_t>(u & 0xFFu);
                u >>= 8;
            }
        } else {
            std::memcpy(bytes, &value, sizeof(T));
        }
        serializer.WriteBytes(bytes, sizeof(T));
    }
    static T Read(CSerializer& serializer) {
        std::uint8_t bytes[sizeof(T)];
        serializer.ReadBytes(bytes, sizeof(T));
        if constexpr (kInteger) {
            std::uint64_t u = 0;
            for (std::size_t i = sizeof(T); i-- > 0;) {
                u = (u << 8) | bytes[i];
            }
            return static_cast<T>(static_cast<Unsigned>(u));
        } else {
            T value;
            std::memcpy(&value, bytes, sizeof(T));
            return value;
        }
    }

private:
    static constexpr bool kInteger = std::is_integral<T>::value && !std::is_same<T, bool>::value;
    using Unsigned = std::make_unsigned_t<std::conditional_t<kInteger, T, int>>;
};

// Text: its byte length as a word, then the bytes.
template <>
struct CElementSerializer<CTextString> {
    static void Write(CSerializer& serializer, const CTextString& value);
    static CTextString Read(CSerializer& serializer);
};

namespace detail {

template <typename T>
int Sign3(T a, T b) noexcept {
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Default element order: numeric for arithmetic types (char as signed
// 8-bit on every platform), the locale comparison for CTextString, Compare
// for CComparable elements; anything else has no order.
template <typename T>
int DefaultCompare(const T& a, const T& b) {
    if constexpr (std::is_same<T, char>::value) {
        return Sign3(static_cast<signed char>(a), static_cast<signed char>(b));
    } else if constexpr (std::is_arithmetic<T>::value) {
        return Sign3(a, b);
    } else if constexpr (std::is_same<T, CTextString>::value) {
        return a.Compare(b);
    } else if constexpr (std::is_base_of<CComparable<T>, T>::value) {
        return a.Compare(b);
    } else {
        throw CNotSupportException(0);
    }
}

}  // namespace detail

template <typename T>
class CDefaultComparator : public CComparator<T> {
public:
    int Compare(const T& a, const T& b) const override { return detail::DefaultCompare(a, b); }
};

// The one default comparator per element type, built on first use.
template <typename T>
const CComparator<T>& GetDefaultComparator() {
    static const CDefaultComparator<T> comparator;
    return comparator;
}

template <typename T>
class CReadCollection : public CSyncBase,
                        public CSerializable,
                        public CComparable<CReadCollection<T>> {
public:
    virtual std::uint32_t GetSize() const = 0;
    // Index not below the size throws CIndexOutOfBoundsException.
    virtual const T& At(std::uint32_t nIndex) const = 0;
    virtual T Get(std::uint32_t nIndex) const { return At(nIndex); }
    // Copies up to nCount elements from nOffset on; returns how many.
    virtual std::uint32_t GetElements(std::uint32_t nCount, T* pDest, std::uint32_t nOffset) const {
        CLockGuard guard(Self());
        const std::uint32_t nSize = GetSize();
        if (nOffset >= nSize) {
            return 0;
        }
        const std::uint32_t n = std::min(nCount, nSize - nOffset);
        if (n != 0 && pDest == nullptr) {
            throw CNullPointerException(0);
        }
        for (std::uint32_t i = 0; i < n; ++i) {
            pDest[i] = At(nOffset + i);
        }
        return n;
    }

    // The count twice as 32-bit words, then every element in index order.
    void Serialize(CSerializer& serializer) const override {
        CLockGuard guard(Self());
        const std::uint32_t nSize = GetSize();
        serializer.WriteWord(nSize);
        serializer.WriteWord(nSize);
        for (std::uint32_t i = 0; i < nSize; ++i) {
            CElementSerializer<T>::Write(serializer, At(i));
        }
    }
    // A read-only collection cannot be filled.
    void Deserialize(CSerializer& /*serializer*/) override { throw CNotSupportException(0); }

    // Element by element with the default comparator; the first difference
    // decides, otherwise this size minus the other's.
    std::int32_t Compare(const CReadCollection& other) const override {
        if (&other == this) {
            return 0;
        }
        CLockGuard guardOther(other.Self());
        CLockGuard guardThis(Self());
        const CComparator<T>& comparator = GetDefaultComparator<T>();
        const std::uint32_t nSize = GetSize();
        const std::uint32_t nOther = other.GetSize();
        for (std::uint32_t i = 0; i < std::min(nSize, nOther); ++i) {
            const int r = comparator.Compare(At(i), other.At(i));
            if (r != 0) {
                return r;
            }
        }
        return static_cast<std::int32_t>(static_cast<std::int64_t>(nSize) - nOther);
    }
    bool IsEqual(const CReadCollection& other) const override {
        if (&other == this) {
            return true;
        }
        CLockGuard guardOther(other.Self());
        CLockGuard guardThis(Self());
        const std::uint32_t nSize = GetSize();
        if (nSize != other.GetSize()) {
            return false;
        }
        const CComparator<T>& comparator = GetDefaultComparator<T>();
        for (std::uint32_t i = 0; i < nSize; ++i) {
            if (!comparator.IsEqual(At(i), other.At(i))) {
                return false;
            }
        }
        return true;
    }

protected:
    // Locking does not change the contents, so const operations lock too.
    CSyncBase* Self() const noexcept { return const_cast<CReadCollection*>(this); }
};

template <typename T>
class CWriteCollection : public CReadCollection<T> {
public:
    using CReadCollection<T>::GetSize;
    using CReadCollection<T>::At;
    using CReadCollection<T>::Get;

    // Writable reference, valid until the next operation on this array or a
    // copy of it.
    virtual T& Ref(std::uint32_t nIndex) = 0;
    // False when the index is not below the size.
    virtual bool Set(std::uint32_t nIndex, const T& value) = 0;
    // Index of the new element, or -1.
    virtual int Add(const T& value) = 0;

    virtual bool InsertEx(std::uint32_t nIndex, const T& value) {
        const std::uint32_t nSize = GetSize();
        if (nIndex > nSize) {
            return false;
        }
        const T copy = value;
        if (Add(T()) < 0) {
            return false;
        }
        for (std::uint32_t i = nSize; i > nIndex; --i) {
            Set(i, Get(i - 1));
        }
        return Set(nIndex, copy);
    }
    virtual bool Insert(std::uint32_t nIndex, const T& value) {
        CLockGuard guard(this);
        return InsertEx(nIndex, value);
    }
    virtual bool Remove(std::uint32_t nIndex) = 0;
    // Count 0, or one reaching past the end, removes to the end. -1 when
    // the index is not below the size.
    virtual int RemoveElements(std::uint32_t nIndex, std::uint32_t nCount) {
        CLockGuard guard(this);
        if (nIndex >= GetSize()) {
            return -1;
        }
        int nRemoved = 0;
        for (std::uint32_t i = 0; nCount == 0 || i < nCount; ++i) {
            if (!Remove(nIndex)) {
                break;
            }
            ++nRemoved;
        }
        return nRemoved;
    }
    virtual bool RemoveAll() {
        CLockGuard guard(this);
        while (GetSize() != 0) {
            if (!Remove(0)) {
                return false;
            }
        }
        return true;
    }
    virtual void Swap(std::uint32_t nIndex1, std::uint32_t nIndex2) {
        if (nIndex1 == nIndex2) {
            return;
        }
        CLockGuard guard(this);
        const T first = Get(nIndex1);
        const T second = At(nIndex2);
        Set(nIndex1, second);
        Set(nIndex2, first);
    }
    // Appends nCount elements from pData, or default elements for null.
    virtual int AddElements(std::uint32_t nCount, const T* pData) {
        for (std::uint32_t i = 0; i < nCount; ++i) {
            if (Add(pData != nullptr ? pData[i] : T()) < 0) {
                return -1;
            }
        }
        return static_cast<int>(nCount);
    }
    virtual std::uint32_t Append(const CReadCollection<T>& source) {
        CLockGuard guardSource(this->Self(&source));
        CLockGuard guard(this);
        const std::uint32_t nSource = source.GetSize();
        for (std::uint32_t i = 0; i < nSource; ++i) {
            Add(source.At(i));
        }
        return nSource;
    }
    virtual int Assign(std::uint32_t nCount, const T* pData) { return SetElements(nCount, pData); }
    virtual int SetElements(std::uint32_t nCount, const T* pData) {
        CLockGuard guard(this);
        if (!RemoveAll()) {
            return -1;
        }
        return AddElements(nCount, pData);
    }
    virtual std::uint32_t Copy(const CReadCollection<T>& source) {
        if (&source == this) {
            return GetSize();
        }
        CLockGuard guardSource(this->Self(&source));
        CLockGuard guard(this);
        const std::uint32_t nSource = source.GetSize();
        SetSize(nSource);
        for (std::uint32_t i = 0; i < nSource; ++i) {
            Set(i, source.At(i));
        }
        return nSource;
    }
    // Walks from the last element down and removes those whose
    // test.IsMatch equals bFlag; returns how many were removed.
    virtual std::uint32_t RemoveIf(const CElementTest<T>& test, bool bFlag) {
        CLockGuard guard(this);
        std::uint32_t nRemoved = 0;
        for (std::uint32_t i = GetSize(); i-- > 0;) {
            if (test.IsMatch(At(i)) == bFlag) {
                if (!Remove(i)) {
                    break;
                }
                ++nRemoved;
            }
        }
        return nRemoved;
    }
    virtual bool SetSize(std::uint32_t nSize) {
        if (nSize == 0xFFFFFFFFu) {
            return true;
        }
        CLockGuard guard(this);
        const std::uint32_t nOld = GetSize();
        if (nSize < nOld) {
            RemoveElements(nSize, nOld - nSize);
        } else if (nSize > nOld) {
            // Elements that cannot be added are not reported as a new size.
            return AddElements(nSize - nOld, nullptr) >= 0;
        }
        return true;
    }

    // Reads two count words (CInvalidParamException when they differ), then
    // replaces the content by that many elements.
    void Deserialize(CSerializer& serializer) override {
        CLockGuard guard(this);
        const std::uint32_t nCount = serializer.ReadWord();
        if (serializer.ReadWord() != nCount) {
            throw CInvalidParamException(0);
        }
        RemoveAll();
        for (std::uint32_t i = 0; i < nCount; ++i) {
            Add(CElementSerializer<T>::Read(serializer));
        }
    }

    // Sorts with the comparator; an exception of the library raised while
    // sorting ends the sort (the elements stay as far as it got) and gives
    // false. bStable selects the exchange sort, otherwise a quick sort.
    bool Sort(const CComparator<T>& comparator, bool bDescending = false, bool bStable = false) {
        CLockGuard guard(this);
        try {
            if (bStable) {
                ExchangeSort(comparator, bDescending);
            } else if (GetSize() != 0) {
                QuickSort(comparator, bDescending);
            }
        } catch (const CZrkException&) {
            return false;
        }
        return true;
    }
    bool Sort(bool bDescending = false, bool bStable = false) {
        return Sort(GetDefaultComparator<T>(), bDescending, bStable);
    }

protected:
    using CReadCollection<T>::Self;
    static CSyncBase* Self(const CReadCollection<T>* p) noexcept {
        return const_cast<CReadCollection<T>*>(p);
    }

private:
    void ExchangeSort(const CComparator<T>& comparator, bool bDescending) {
        const std::uint32_t nSize = GetSize();
        for (std::uint32_t i = 0; i < nSize; ++i) {
            for (std::uint32_t j = nSize - 1; j > i; --j) {
                // Only a strict order swaps, so equal elements keep their
                // order in both directions.
                const int r = comparator.Compare(At(j - 1), At(j));
                if (bDescending ? r < 0 : r > 0) {
                    Swap(j - 1, j);
                }
            }
        }
    }
    // Each range is partitioned around its first element, then its left
    // part is sorted before its right part. The right parts wait on a stack
    // of our own instead of the thread's: ordered input splits off one
    // element per step and would nest once per element. Keeping the left-
    // first order matters when a comparator fails, since the partial order
    // left behind depends on it.
    void QuickSort(const CComparator<T>& comparator, bool bDescending) {
        std::vector<std::pair<std::uint32_t, std::uint32_t>> pending;
        std::uint32_t nLow = 0;
        std::uint32_t nHigh = GetSize() - 1;
        for (;;) {
            if (nLow >= nHigh) {
                if (pending.empty()) {
                    return;
                }
                std::tie(nLow, nHigh) = pending.back();
                pending.pop_back();
                continue;
            }
            const T pivot = Get(nLow);
            std::uint32_t m = nLow;
            for (std::uint32_t i = nLow + 1; i <= nHigh; ++i) {
                if ((comparator.Compare(At(i), pivot) < 0) != bDescending) {
                    ++m;
                    Swap(i, m);
                }
            }
            Swap(nLow, m);
            if (m == nLow) {
                nLow = m + 1;  // nothing on the left
                continue;
            }
            if (m + 1 < nHigh) {
                pending.emplace_back(m + 1, nHigh);  // two or more on the right
            }
            nHigh = m - 1;
        }
    }
};

// Sort through a pointer; a null collection throws CNullPointerException.
template <typename T>
bool Sort(CWriteCollection<T>* pCollection, const CComparator<T>& comparator,
          bool bDescending = false, bool bStable = false) {
    if (pCollection == nullptr) {
        throw CNullPointerException(0);
    }
    return pCollection->Sort(comparator, bDescending, bStable);
}

// Access to elements stored one after another.
template <typename T>
class CContiguousBuffer {
public:
    virtual ~CContiguousBuffer() = default;
    // The first element, or null when there is no storage.
    virtual const T* GetBuffer() const = 0;
    virtual std::uint32_t GetSize() const = 0;
};

// Storage of an array, shared between copies through a counted handle.
// Every slot, used or not, holds a constructed (value-initialized) element.
template <typename T>
class CArrayBuffer {
public:
    CArrayBuffer() = default;
    // nFilled: the leading slots that the caller overwrites at once. Plain
    // element types leave those uninitialised to spare a pass over them;
    // every other slot is value-initialised (zero, or a constructed empty
    // element).
    explicit CArrayBuffer(std::uint32_t nCapacity, std::uint32_t nFilled = 0)
        : m_nCapacity(nCapacity), m_pData(Allocate(nCapacity, nFilled)) {}
    virtual ~CArrayBuffer() { delete[] m_pData; }
    CArrayBuffer(const CArrayBuffer&) = delete;
    CArrayBuffer& operator=(const CArrayBuffer&) = delete;

    static T* Allocate(std::uint32_t nCapacity, std::uint32_t nFilled) {
        if (nCapacity == 0) {
            return nullptr;
        }
        if constexpr (std::is_trivially_default_constructible<T>::value &&
                      std::is_trivially_copyable<T>::value) {
            T* p = new T[nCapacity];
            const std::uint32_t nSkip = std::min(nFilled, nCapacity);
            std::fill(p + nSkip, p + nCapacity, T());
            return p;
        } else {
            return new T[nCapacity]();
        }
    }

    CSectionSync m_lock;
    std::uint32_t m_nCapacity = 0;
    std::uint32_t m_nCount = 0;
    T* m_pData = nullptr;
};

template <typename T>
class CSharedArray : public CWriteCollection<T>, public CContiguousBuffer<T> {
public:
    using CReadCollection<T>::Compare;
    using CReadCollection<T>::IsEqual;
    using CWriteCollection<T>::Sort;

    // nGrowBy 0 grows by the automatic margin (n / 8, clamped to 4..1024);
    // otherwise by that many spare elements.
    explicit CSharedArray(std::uint32_t nGrowBy = 0)
        : m_buffer(new CArrayBuffer<T>), m_nGrowBy(nGrowBy) {}
    // Shares the source's elements until one of the two writes.
    CSharedArray(const CSharedArray& other)
        : CWriteCollection<T>(),
          CContiguousBuffer<T>(),
          m_buffer(other.m_buffer),
          m_nGrowBy(other.m_nGrowBy) {}
    CSharedArray& operator=(const CSharedArray& other) {
        m_buffer = other.m_buffer;
        m_nGrowBy = other.m_nGrowBy;
        return *this;
    }
    ~CSharedArray() override = default;

    bool Lock(std::uint32_t nTimeout = kWaitForever) override { return m_lock.Lock(nTimeout); }
    void Unlock() override { m_lock.Unlock(); }

    std::uint32_t GetSize() const override { return m_buffer->m_nCount; }
    const T& At(std::uint32_t nIndex) const override {
        CheckIndex(nIndex);
        return m_buffer->m_pData[nIndex];
    }
    const T& operator[](std::uint32_t nIndex) const { return At(nIndex); }
    T Get(std::uint32_t nIndex) const override { return At(nIndex); }
    std::uint32_t GetElements(std::uint32_t nCount, T* pDest,
                              std::uint32_t nOffset) const override {
        CLockGuard guard(this->Self());
        const std::uint32_t nSize = GetSize();
        if (nOffset >= nSize) {
            return 0;
        }
        const std::uint32_t n = std::min(nCount, nSize - nOffset);
        if (n != 0 && pDest == nullptr) {
            throw CNullPointerException(0);
        }
        std::copy(m_buffer->m_pData + nOffset, m_buffer->m_pData + nOffset + n, pDest);
        return n;
    }

    T& Ref(std::uint32_t nIndex) override {
        CheckIndex(nIndex);
        MakeUnique();
        return m_buffer->m_pData[nIndex];
    }
    bool Set(std::uint32_t nIndex, const T& value) override {
        if (nIndex >= GetSize()) {
            return false;
        }
        // value may live in the buffer that MakeUnique lets go of.
        T copy = value;
        MakeUnique();
        m_buffer->m_pData[nIndex] = std::move(copy);
        return true;
    }
    int Add(const T& value) override {
        CArrayBuffer<T>& buffer = *m_buffer;
        const std::uint32_t nIndex = buffer.m_nCount;
        if (buffer.m_nCapacity > nIndex && nIndex < kMaxElements && HoldsAlone(buffer)) {
            buffer.m_pData[nIndex] = value;
            buffer.m_nCount = nIndex + 1;
            return static_cast<int>(nIndex);
        }
        return AddElements(1, &value) == 1 ? static_cast<int>(nIndex) : -1;
    }
    bool InsertEx(std::uint32_t nIndex, const T& value) override {
        CLockGuard guard(this);
        const std::uint32_t nSize = GetSize();
        if (nIndex > nSize) {
            return false;
        }
        T copy = value;
        if (AddElements(1, nullptr) != 1) {
            return false;
        }
        T* pData = m_buffer->m_pData;
        std::move_backward(pData + nIndex, pData + nSize, pData + nSize + 1);
        pData[nIndex] = std::move(copy);
        return true;
    }
    bool Insert(std::uint32_t nIndex, const T& value) override {
        CLockGuard guard(this);
        return InsertEx(nIndex, value);
    }
    bool Remove(std::uint32_t nIndex) override { return RemoveElements(nIndex, 1) == 1; }
    int RemoveElements(std::uint32_t nIndex, std::uint32_t nCount) override {
        CLockGuard guard(this);
        const std::uint32_t nSize = GetSize();
        if (nIndex >= nSize) {
            return -1;
        }
        if (nCount == 0 || nCount > nSize - nIndex) {
            // Everything from the index on; from 0 that is a fresh start.
            // A count of exactly the rest stays below and keeps storage
            // and growth step.
            if (nIndex == 0) {
                return RemoveAll() ? static_cast<int>(nSize) : -1;
            }
            nCount = nSize - nIndex;
        }
        MakeUnique();
        T* pData = m_buffer->m_pData;
        std::move(pData + nIndex + nCount, pData + nSize, pData + nIndex);
        std::fill(pData + nSize - nCount, pData + nSize, T());
        m_buffer->m_nCount = nSize - nCount;
        return static_cast<int>(nCount);
    }
    // Detaches from the old buffer, so earlier copies keep their elements.
    bool RemoveAll() override {
        CLockGuard guard(this);
        m_buffer.Reset(new CArrayBuffer<T>);
        m_nGrowBy = 0;
        return true;
    }
    void Swap(std::uint32_t nIndex1, std::uint32_t nIndex2) override {
        if (nIndex1 == nIndex2) {
            return;
        }
        CLockGuard guard(this);
        CheckIndex(nIndex1);
        CheckIndex(nIndex2);
        MakeUnique();
        using std::swap;
        swap(m_buffer->m_pData[nIndex1], m_buffer->m_pData[nIndex2]);
    }
    int AddElements(std::uint32_t nCount, const T* pData) override {
        if (nCount == 0) {
            return 0;
        }
        const std::uint32_t nSize = GetSize();
        if (nCount > kMaxElements - nSize) {
            return -1;
        }
        CArrayBuffer<T>& buffer = *m_buffer;
        if (buffer.m_nCapacity >= nSize + nCount && HoldsAlone(buffer)) {
            // pData may point at our own elements; they lie below the slots
            // written here.
            CopyIn(buffer.m_pData + nSize, pData, nCount);
            buffer.m_nCount = nSize + nCount;
            return static_cast<int>(nCount);
        }
        // Old and new elements go into the new storage in one step; the old
        // buffer (which pData may point into) lives until it is replaced.
        std::unique_ptr<CArrayBuffer<T>> pNew(
            new CArrayBuffer<T>(StorageFor(nSize + nCount), nSize + nCount));
        {
            CLockGuard guard(&buffer.m_lock);
            std::copy(buffer.m_pData, buffer.m_pData + nSize, pNew->m_pData);
        }
        CopyIn(pNew->m_pData + nSize, pData, nCount);
        pNew->m_nCount = nSize + nCount;
        Install(std::move(pNew));
        return static_cast<int>(nCount);
    }
    std::uint32_t Append(const CReadCollection<T>& source) override {
        CLockGuard guardSource(this->Self(&source));
        CLockGuard guard(this);
        const std::uint32_t nSource = source.GetSize();
        const std::uint32_t nOld = GetSize();
        if (nSource == 0 || AddElements(nSource, nullptr) != static_cast<int>(nSource)) {
            return 0;
        }
        // When source is this array, its first nSource elements are the old
        // ones and are still in place.
        T* pData = m_buffer->m_pData;
        for (std::uint32_t i = 0; i < nSource; ++i) {
            pData[nOld + i] = source.At(i);
        }
        return nSource;
    }
    int Assign(std::uint32_t nCount, const T* pData) override { return SetElements(nCount, pData); }
    // Builds the content in a fresh buffer, so copies keep the old content.
    int SetElements(std::uint32_t nCount, const T* pData) override {
        CLockGuard guard(this);
        if (nCount > kMaxElements) {
            return -1;
        }
        std::unique_ptr<CArrayBuffer<T>> pNew(
            nCount == 0 ? new CArrayBuffer<T> : new CArrayBuffer<T>(StorageFor(nCount), nCount));
        CopyIn(pNew->m_pData, pData, nCount);
        pNew->m_nCount = nCount;
        Install(std::move(pNew));
        return static_cast<int>(nCount);
    }
    std::uint32_t Copy(const CReadCollection<T>& source) override {
        return CWriteCollection<T>::Copy(source);
    }
    std::uint32_t RemoveIf(const CElementTest<T>& test, bool bFlag) override {
        return CWriteCollection<T>::RemoveIf(test, bFlag);
    }
    bool SetSize(std::uint32_t nSize) override {
        if (nSize == 0xFFFFFFFFu) {
            return true;
        }
        CLockGuard guard(this);
        const std::uint32_t nOld = GetSize();
        // Elements that cannot be added are not reported as a new size.
        if (nOld == 0) {
            return SetElements(nSize, nullptr) >= 0;
        } else if (nSize == 0) {
            m_buffer.Reset(new CArrayBuffer<T>);
            m_nGrowBy = 0;
        } else if (nSize < nOld) {
            MakeUnique();
            std::fill(m_buffer->m_pData + nSize, m_buffer->m_pData + nOld, T());
            m_buffer->m_nCount = nSize;
        } else if (nSize > nOld) {
            return AddElements(nSize - nOld, nullptr) >= 0;
        }
        return true;
    }

    const T* GetBuffer() const override { return m_buffer->m_pData; }

    // Storage details, for callers that tune growth and for tests.
    std::uint32_t GetCapacity() const noexcept { return m_buffer->m_nCapacity; }
    std::uint32_t GetGrowBy() const noexcept { return m_nGrowBy; }
    // Arrays sharing this one's buffer, this one included.
    std::int32_t GetShareCount() const noexcept { return m_buffer.GetRefCount(); }

private:
    // Indexes are returned as int, so the size stays within its range.
    static constexpr std::uint32_t kMaxElements = 0x7FFFFFFFu;

    void CheckIndex(std::uint32_t nIndex) const {
        if (nIndex >= m_buffer->m_nCount) {
            throw CIndexOutOfBoundsException(0);
        }
    }
    std::uint32_t StorageFor(std::uint32_t nNeed) const noexcept {
        const std::uint32_t nSpare = m_nGrowBy != 0 ? m_nGrowBy : GrowthMargin(nNeed);
        return nNeed + std::min(nSpare, 0xFFFFFFFFu - nNeed);
    }
    static void CopyIn(T* pDest, const T* pData, std::uint32_t nCount) {
        if (pData != nullptr) {
            std::copy(pData, pData + nCount, pDest);
        } else {
            std::fill(pDest, pDest + nCount, T());
        }
    }
    void Install(std::unique_ptr<CArrayBuffer<T>> pNew) { m_buffer.Reset(pNew.release()); }
    // Whether this array holds its buffer alone, so that it may write in
    // place. Decided under the buffer's lock, where copies are made, and
    // the count is read with acquire ordering: a share that another thread
    // has just released is seen together with that thread's last reads of
    // the elements.
    bool HoldsAlone(CArrayBuffer<T>& buffer) {
        buffer.m_lock.CSectionSync::Lock();
        const bool bAlone = m_buffer.GetRefCount() < 2;
        buffer.m_lock.CSectionSync::Unlock();
        return bAlone;
    }
    // Copy on write: a buffer shared with another array is copied before
    // this array changes it.
    void MakeUnique() {
        CArrayBuffer<T>& buffer = *m_buffer;
        std::unique_ptr<CArrayBuffer<T>> pNew;
        {
            CLockGuard guard(&buffer.m_lock);
            if (m_buffer.GetRefCount() < 2) {
                return;
            }
            const std::uint32_t nCount = buffer.m_nCount;
            pNew.reset(new CArrayBuffer<T>(nCount == 0 ? 0 : StorageFor(nCount), nCount));
            std::copy(buffer.m_pData, buffer.m_pData + nCount, pNew->m_pData);
            pNew->m_nCount = nCount;
        }
        // Our share of the old buffer is dropped only after its lock is
        // released, since dropping it may free the buffer and its lock.
        Install(std::move(pNew));
    }

    CRefHandle<CArrayBuffer<T>> m_buffer;
    CSectionSync m_lock;
    std::uint32_t m_nGrowBy;
};

}  // namespace ZRK
