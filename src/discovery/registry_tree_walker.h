// Depth-first walk over the sub-keys of a registry section. A subclass
// decides in OnFoundKey, key by key, whether to go into it, to leave the
// rest of its level alone, or to end the walk.
#pragma once

#include <cstdint>

#include "discovery/registry_accessor.h"
#include "lib/text_string.h"

namespace ZRK {

class CRegistryTreeWalker {
public:
    // What OnFoundKey asks the walk to do next. Any value other than
    // Descend and SkipSiblings ends the walk like Abort.
    enum EWalkAction : std::int32_t {
        Descend = 0,       // walk into the key, then go on with its next sibling
        SkipSiblings = 1,  // neither walk into it nor list the rest of its level
        Abort = 2,         // end the whole walk
    };

    // The deepest level the walk goes to. The registry itself nests no more
    // than 512 levels, so on a real machine this never cuts the walk short;
    // it only keeps a damaged or made-up tree from exhausting the stack.
    // Keys at this level are still reported to OnFoundKey, but a Descend on
    // them is taken as "nothing below".
    static constexpr std::int32_t kMaxDepth = 512;

    CRegistryTreeWalker() = default;
    virtual ~CRegistryTreeWalker() = default;

    // Walks the sub-keys of key, depth first, in the registry's order of
    // enumeration. Returns 0 when the level was finished (also after
    // SkipSiblings) and 2 when the walk was aborted. A sub-key whose name is
    // empty or holds a backslash cannot be addressed by a path and is left
    // out; a key that cannot be listed has no sub-keys for the walk.
    std::int32_t Walk(const CSection& key);

    // Called for each sub-key with its own name, its section (whose path
    // ends with that name) and the current depth (1 for the sub-keys of the
    // start key). The base class descends into every key.
    virtual std::int32_t OnFoundKey(const CTextString& strName, const CSection& key,
                                    std::int32_t nDepth);

    // Levels of Walk active right now; 0 outside a walk.
    std::int32_t GetDepth() const noexcept { return m_nDepth; }

protected:
    std::int32_t m_nDepth = 0;
};

}  // namespace ZRK
