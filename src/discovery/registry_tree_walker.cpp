#include "discovery/registry_tree_walker.h"

#include "lib/nls.h"

namespace ZRK {

namespace {

// A name that can be appended to a path as one component. The test steps
// over double-byte characters: a trail byte of 5Ch is part of a character,
// not a separator.
bool IsPathComponent(const CTextString& strName) {
    const char* p = strName.GetString();
    if (*p == '\0') {
        return false;
    }
    while (*p != '\0') {
        if (*p == '\\') {
            return false;
        }
        if (IsLeadByte932(static_cast<unsigned char>(*p)) && p[1] != '\0') {
            p += 2;
        } else {
            ++p;
        }
    }
    return true;
}

// Keeps m_nDepth right on every way out, exceptions included.
class CDepthLevel {
public:
    explicit CDepthLevel(std::int32_t& nDepth) : m_nDepth(nDepth) { ++m_nDepth; }
    ~CDepthLevel() { --m_nDepth; }
    CDepthLevel(const CDepthLevel&) = delete;
    CDepthLevel& operator=(const CDepthLevel&) = delete;

private:
    std::int32_t& m_nDepth;
};

}  // namespace

std::int32_t CRegistryTreeWalker::Walk(const CSection& key) {
    CDepthLevel level(m_nDepth);
    // Listed once, before any callback, so that a callback that changes the
    // accessor's current section does not disturb this level.
    const CTextList names = key.EnumSections();
    const CTextString& strPath = key.GetSection();
    for (std::uint32_t i = 0; i < names.GetSize(); ++i) {
        const CTextString strName = names.At(i);
        if (!IsPathComponent(strName)) {
            continue;
        }
        CSection child(key);
        CTextString strChildPath(strPath);
        if (!strChildPath.IsEmpty()) {
            strChildPath += '\\';
        }
        strChildPath += strName;
        child.SetSection(strChildPath);

        std::int32_t r = OnFoundKey(strName, child, m_nDepth);
        if (r == Descend) {
            r = m_nDepth < kMaxDepth ? Walk(child) : Descend;
        }
        if (r == SkipSiblings) {
            return 0;
        }
        if (r != Descend) {
            return Abort;
        }
    }
    return 0;
}

std::int32_t CRegistryTreeWalker::OnFoundKey(const CTextString& /*strName*/,
                                             const CSection& /*key*/, std::int32_t /*nDepth*/) {
    return Descend;
}

}  // namespace ZRK
