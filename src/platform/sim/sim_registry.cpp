#include "platform/sim/sim_registry.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace Tolvane {
namespace Sim {
namespace {

// ERROR_BAD_PATHNAME: what the registry answers for a path with an empty
// component ("\\A", "A\\\\B").
constexpr LONG kBadPathname = 161;

// The bits of an access mask that select a registry view, not a right.
constexpr REGSAM kViewBits = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

HKEY PredefinedKey(std::uint32_t value) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(value)));
}

struct RootInfo {
    HKEY key;
    const char* name;
};

const RootInfo* Roots(std::size_t* count) {
    static const RootInfo roots[] = {
        {PredefinedKey(0x80000000u), "HKEY_CLASSES_ROOT"},
        {PredefinedKey(0x80000001u), "HKEY_CURRENT_USER"},
        {PredefinedKey(0x80000002u), "HKEY_LOCAL_MACHINE"},
        {PredefinedKey(0x80000003u), "HKEY_USERS"},
        {PredefinedKey(0x80000005u), "HKEY_CURRENT_CONFIG"},
    };
    *count = sizeof roots / sizeof roots[0];
    return roots;
}

// Names are code page 932 bytes: a lead byte's partner may look like an ASCII
// letter or a backslash and must be neither folded nor split at.
bool IsLeadByte932(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

std::string Fold(const char* text, std::size_t length) {
    std::string out(text, length);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto c = static_cast<unsigned char>(out[i]);
        if (IsLeadByte932(c)) {
            ++i;
        } else if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::string Fold(const std::string& text) {
    return Fold(text.data(), text.size());
}

std::string Fold(const char* text) {
    return text == nullptr ? std::string() : Fold(text, std::strlen(text));
}

// Null and "" give no part; one trailing backslash is tolerated; any other
// empty part makes the path bad.
bool SplitPath(const char* path, std::vector<std::string>* parts) {
    parts->clear();
    if (path == nullptr || *path == '\0') {
        return true;
    }
    std::string current;
    const auto* p = reinterpret_cast<const unsigned char*>(path);
    for (;;) {
        const unsigned char c = *p;
        if (c == '\0' || c == '\\') {
            if (current.empty()) {
                return c == '\0' && !parts->empty();
            }
            parts->push_back(std::move(current));
            current.clear();
            if (c == '\0') {
                return true;
            }
            ++p;
            continue;
        }
        current.push_back(static_cast<char>(c));
        ++p;
        if (IsLeadByte932(c) && *p != '\0') {
            current.push_back(static_cast<char>(*p));
            ++p;
        }
    }
}

std::string JoinFolded(const std::string& base, const std::vector<std::string>& parts) {
    std::string out = base;
    for (const auto& part : parts) {
        out += '\\';
        out += Fold(part);
    }
    return out;
}

}  // namespace

CSimRegistry::CSimRegistry() {
    std::size_t count = 0;
    const RootInfo* roots = Roots(&count);
    for (std::size_t i = 0; i < count; ++i) {
        auto node = std::make_shared<Node>();
        node->name = roots[i].name;
        node->path = roots[i].name;
        node->foldedPath = Fold(node->name);
        m_roots.push_back(std::move(node));
    }
    SetEnvironment("SystemRoot", "C:\\WINDOWS");
    SetEnvironment("windir", "C:\\WINDOWS");
}

CSimRegistry::~CSimRegistry() {
    m_handles.clear();
    std::size_t removed = 0;
    for (auto& root : m_roots) {
        Dismantle(std::move(root), &removed);
    }
}

// Tears a subtree down without recursion, so that a tree thousands of levels
// deep neither overflows the stack here nor in the nodes' destructors. Nodes
// that a handle still holds survive as deleted, childless keys.
void CSimRegistry::Dismantle(std::shared_ptr<Node> top, std::size_t* removed) {
    std::vector<std::shared_ptr<Node>> pending;
    pending.push_back(std::move(top));
    while (!pending.empty()) {
        std::shared_ptr<Node> node = std::move(pending.back());
        pending.pop_back();
        node->deleted = true;
        node->parent = nullptr;
        node->childIndex.clear();
        for (auto& child : node->children) {
            ++*removed;
            pending.push_back(std::move(child));
        }
        node->children.clear();
    }
}

CSimRegistry::Node* CSimRegistry::RootNode(HKEY root) const {
    std::size_t count = 0;
    const RootInfo* roots = Roots(&count);
    for (std::size_t i = 0; i < count; ++i) {
        if (roots[i].key == root) {
            return m_roots[i].get();
        }
    }
    return nullptr;
}

CSimRegistry::Node* CSimRegistry::Resolve(HKEY key, REGSAM* granted, LONG* error) {
    if (Node* root = RootNode(key)) {
        *granted = KEY_ALL_ACCESS & ~DeniedRights(root);
        return root;
    }
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(key));
    if (it == m_handles.end()) {
        ++m_invalidUses;
        *error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    if (it->second.node->deleted) {
        *error = ERROR_KEY_DELETED;
        return nullptr;
    }
    *granted = it->second.access;
    return it->second.node.get();
}

CSimRegistry::Node* CSimRegistry::Walk(Node* base, const std::vector<std::string>& parts) const {
    Node* node = base;
    for (const auto& part : parts) {
        auto it = node->childIndex.find(Fold(part));
        if (it == node->childIndex.end()) {
            return nullptr;
        }
        node = it->second;
    }
    return node;
}

CSimRegistry::Node* CSimRegistry::AddChild(Node* parent, const std::string& name) {
    auto child = std::make_shared<Node>();
    std::string folded = Fold(name);
    child->name = name;
    child->path = parent->path + '\\' + name;
    child->foldedPath = parent->foldedPath + '\\' + folded;
    child->parent = parent;
    Node* raw = child.get();
    parent->childIndex.emplace(std::move(folded), raw);
    parent->children.push_back(std::move(child));
    ++m_keyCount;
    return raw;
}

void CSimRegistry::Detach(Node* node) {
    Node* parent = node->parent;
    if (parent == nullptr) {
        return;
    }
    auto it = std::find_if(parent->children.begin(), parent->children.end(),
                           [node](const std::shared_ptr<Node>& c) { return c.get() == node; });
    if (it == parent->children.end()) {
        return;
    }
    std::shared_ptr<Node> held = std::move(*it);
    parent->children.erase(it);
    parent->childIndex.erase(Fold(node->name));
    std::size_t removed = 1;
    Dismantle(std::move(held), &removed);
    m_keyCount -= removed;
}

HKEY CSimRegistry::NewHandle(Node* node, REGSAM access) {
    const std::uintptr_t id = m_nextHandle;
    m_nextHandle += 4;
    m_handles.emplace(id, Handle{node->shared_from_this(), access});
    return reinterpret_cast<HKEY>(id);
}

REGSAM CSimRegistry::DeniedRights(const Node* node) const {
    if (m_denials.empty()) {
        return 0;
    }
    REGSAM denied = 0;
    auto own = m_denials.find(node->foldedPath);
    if (own != m_denials.end()) {
        denied |= own->second.rights;
    }
    if (m_anySubtreeDenial) {
        for (const Node* up = node->parent; up != nullptr; up = up->parent) {
            auto rule = m_denials.find(up->foldedPath);
            if (rule != m_denials.end() && rule->second.subtree) {
                denied |= rule->second.rights;
            }
        }
    }
    return denied;
}

LONG CSimRegistry::Injected(ERegCall call, const std::string& foldedPath) {
    LONG code = 0;
    for (auto& failure : m_failures) {
        if (failure.call != call) {
            continue;
        }
        if (call != ERegCall::ExpandEnvironment && failure.foldedPath != foldedPath) {
            continue;
        }
        const unsigned index = failure.seen++;
        if (code == 0 && index >= failure.skip &&
            (failure.times == kAlways || index - failure.skip < failure.times)) {
            code = failure.code;
        }
    }
    return code;
}

// --- The registry interface ----------------------------------------------

LONG CSimRegistry::RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD /*options*/, REGSAM access,
                                 HKEY* result) {
    Count(ERegCall::OpenKey);
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    REGSAM granted = 0;
    LONG error = 0;
    Node* base = Resolve(key, &granted, &error);
    if (base == nullptr) {
        return error;
    }
    std::vector<std::string> parts;
    if (!SplitPath(subKey, &parts)) {
        return kBadPathname;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::OpenKey, JoinFolded(base->foldedPath, parts))) {
            return code;
        }
    }
    Node* node = Walk(base, parts);
    if (node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if ((access & ~kViewBits & DeniedRights(node)) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    *result = NewHandle(node, access & ~kViewBits);
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD /*reserved*/, LPSTR /*className*/,
                                   DWORD /*options*/, REGSAM access, void* /*security*/,
                                   HKEY* result, DWORD* disposition) {
    Count(ERegCall::CreateKey);
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    *result = nullptr;
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    std::vector<std::string> parts;
    if (!SplitPath(subKey, &parts)) {
        return kBadPathname;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::CreateKey, JoinFolded(node->foldedPath, parts))) {
            return code;
        }
    }
    bool created = false;
    for (const auto& part : parts) {
        auto it = node->childIndex.find(Fold(part));
        if (it != node->childIndex.end()) {
            node = it->second;
            continue;
        }
        if ((DeniedRights(node) & KEY_CREATE_SUB_KEY) != 0) {
            return ERROR_ACCESS_DENIED;
        }
        node = AddChild(node, part);
        created = true;
    }
    if ((access & ~kViewBits & DeniedRights(node)) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    *result = NewHandle(node, access & ~kViewBits);
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type,
                                    BYTE* data, DWORD* dataSize) {
    Count(ERegCall::QueryValue);
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    if ((granted & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (reserved != nullptr || (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::QueryValue, node->foldedPath)) {
            return code;
        }
    }
    const std::string folded = Fold(valueName);
    auto value = std::find_if(node->values.begin(), node->values.end(),
                              [&folded](const Value& v) { return v.folded == folded; });
    if (value == node->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    if (dataSize == nullptr) {
        return ERROR_SUCCESS;
    }
    const auto size = static_cast<DWORD>(value->data.size());
    if (data != nullptr) {
        if (*dataSize < size) {
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size != 0) {
            std::memcpy(data, value->data.data(), size);
        }
    }
    *dataSize = size;
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize,
                                 DWORD* reserved, LPSTR className, DWORD* classSize,
                                 FILETIME* lastWrite) {
    Count(ERegCall::EnumKey);
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    if ((granted & KEY_ENUMERATE_SUB_KEYS) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (name == nullptr || nameSize == nullptr || reserved != nullptr ||
        (className != nullptr && classSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::EnumKey, node->foldedPath)) {
            return code;
        }
    }
    if (index >= node->children.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const std::string& found = node->children[index]->name;
    // The size counts characters with room for the zero; nothing is written
    // when the name does not fit.
    if (found.size() >= *nameSize) {
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, found.c_str(), found.size() + 1);
    *nameSize = static_cast<DWORD>(found.size());
    if (className != nullptr && *classSize != 0) {
        className[0] = '\0';
    }
    if (classSize != nullptr) {
        *classSize = 0;
    }
    if (lastWrite != nullptr) {
        lastWrite->dwLowDateTime = 0;
        lastWrite->dwHighDateTime = 0;
    }
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize,
                                 DWORD* reserved, DWORD* type, BYTE* data, DWORD* dataSize) {
    Count(ERegCall::EnumValue);
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    if ((granted & KEY_QUERY_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (name == nullptr || nameSize == nullptr || reserved != nullptr ||
        (data != nullptr && dataSize == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::EnumValue, node->foldedPath)) {
            return code;
        }
    }
    if (index >= node->values.size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    const Value& value = node->values[index];
    if (value.name.size() >= *nameSize) {
        return ERROR_MORE_DATA;
    }
    const auto size = static_cast<DWORD>(value.data.size());
    if (data != nullptr && *dataSize < size) {
        *dataSize = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameSize = static_cast<DWORD>(value.name.size());
    if (type != nullptr) {
        *type = value.type;
    }
    if (data != nullptr && size != 0) {
        std::memcpy(data, value.data.data(), size);
    }
    if (dataSize != nullptr) {
        *dataSize = size;
    }
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegSetValueExA(HKEY key, LPCSTR valueName, DWORD /*reserved*/, DWORD type,
                                  const BYTE* data, DWORD dataSize) {
    Count(ERegCall::SetValue);
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    if ((granted & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (data == nullptr && dataSize != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::SetValue, node->foldedPath)) {
            return code;
        }
    }
    std::vector<BYTE> bytes(data, data + (data == nullptr ? 0 : dataSize));
    const std::string folded = Fold(valueName);
    auto value = std::find_if(node->values.begin(), node->values.end(),
                              [&folded](const Value& v) { return v.folded == folded; });
    if (value == node->values.end()) {
        node->values.push_back(Value{valueName == nullptr ? std::string() : valueName, folded, type,
                                     std::move(bytes)});
    } else {
        value->type = type;
        value->data = std::move(bytes);
    }
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegDeleteValueA(HKEY key, LPCSTR valueName) {
    Count(ERegCall::DeleteValue);
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    if ((granted & KEY_SET_VALUE) == 0) {
        return ERROR_ACCESS_DENIED;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::DeleteValue, node->foldedPath)) {
            return code;
        }
    }
    const std::string folded = Fold(valueName);
    auto value = std::find_if(node->values.begin(), node->values.end(),
                              [&folded](const Value& v) { return v.folded == folded; });
    if (value == node->values.end()) {
        return ERROR_FILE_NOT_FOUND;
    }
    node->values.erase(value);
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    Count(ERegCall::DeleteKey);
    REGSAM granted = 0;
    LONG error = 0;
    Node* base = Resolve(key, &granted, &error);
    if (base == nullptr) {
        return error;
    }
    std::vector<std::string> parts;
    if (subKey == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (!SplitPath(subKey, &parts)) {
        return kBadPathname;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::DeleteKey, JoinFolded(base->foldedPath, parts))) {
            return code;
        }
    }
    Node* node = Walk(base, parts);
    if (node == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    // A root cannot go, and a key with sub-keys is refused as Windows does.
    if (node->parent == nullptr || (DeniedRights(node) & DELETE) != 0 || !node->children.empty()) {
        return ERROR_ACCESS_DENIED;
    }
    Detach(node);
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegFlushKey(HKEY key) {
    Count(ERegCall::FlushKey);
    REGSAM granted = 0;
    LONG error = 0;
    Node* node = Resolve(key, &granted, &error);
    if (node == nullptr) {
        return error;
    }
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::FlushKey, node->foldedPath)) {
            return code;
        }
    }
    return ERROR_SUCCESS;
}

LONG CSimRegistry::RegCloseKey(HKEY key) {
    Count(ERegCall::CloseKey);
    if (RootNode(key) != nullptr) {
        return ERROR_SUCCESS;  // harmless, as on Windows
    }
    if (m_handles.erase(reinterpret_cast<std::uintptr_t>(key)) == 0) {
        ++m_invalidCloses;
        return ERROR_INVALID_HANDLE;
    }
    return ERROR_SUCCESS;
}

DWORD CSimRegistry::ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) {
    Count(ERegCall::ExpandEnvironment);
    if (!m_failures.empty()) {
        if (LONG code = Injected(ERegCall::ExpandEnvironment, std::string())) {
            m_lastError = static_cast<DWORD>(code);
            return 0;
        }
    }
    if (source == nullptr) {
        m_lastError = ERROR_INVALID_PARAMETER;
        return 0;
    }
    // '%' (0x25) is never the trail byte of a double-byte character, so a
    // byte scan is safe here.
    std::string out;
    const char* p = source;
    while (*p != '\0') {
        if (*p != '%') {
            out.push_back(*p++);
            continue;
        }
        const char* close = std::strchr(p + 1, '%');
        if (close == nullptr) {
            out.append(p);
            break;
        }
        auto it = m_environment.find(Fold(p + 1, static_cast<std::size_t>(close - p - 1)));
        if (close != p + 1 && it != m_environment.end()) {
            out += it->second.second;
        } else {
            out.append(p, close + 1);  // unknown: left as written
        }
        p = close + 1;
    }
    const auto needed = static_cast<DWORD>(out.size() + 1);
    if (destination != nullptr && size >= needed) {
        std::memcpy(destination, out.c_str(), needed);
    }
    return needed;
}

void CSimRegistry::SetLastError(DWORD code) {
    Count(ERegCall::SetLastError);
    m_lastError = code;
}

DWORD CSimRegistry::GetLastError() {
    Count(ERegCall::GetLastError);
    return m_lastError;
}

// --- Building and inspecting the tree --------------------------------------

CSimRegistry::Node* CSimRegistry::HelperBase(HKEY root) const {
    if (Node* node = RootNode(root)) {
        return node;
    }
    auto it = m_handles.find(reinterpret_cast<std::uintptr_t>(root));
    if (it == m_handles.end() || it->second.node->deleted) {
        return nullptr;
    }
    return it->second.node.get();
}

CSimRegistry::Node* CSimRegistry::HelperFind(HKEY root, const std::string& path) const {
    Node* base = HelperBase(root);
    std::vector<std::string> parts;
    if (base == nullptr || !SplitPath(path.c_str(), &parts)) {
        return nullptr;
    }
    return Walk(base, parts);
}

CSimRegistry::Node* CSimRegistry::HelperEnsure(HKEY root, const std::string& path) {
    Node* node = HelperBase(root);
    std::vector<std::string> parts;
    if (node == nullptr || !SplitPath(path.c_str(), &parts)) {
        return nullptr;
    }
    for (const auto& part : parts) {
        auto it = node->childIndex.find(Fold(part));
        node = it != node->childIndex.end() ? it->second : AddChild(node, part);
    }
    return node;
}

bool CSimRegistry::CreateKey(HKEY root, const std::string& path) {
    return HelperEnsure(root, path) != nullptr;
}

bool CSimRegistry::SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                            const std::vector<BYTE>& data) {
    Node* node = HelperEnsure(root, path);
    if (node == nullptr) {
        return false;
    }
    const std::string folded = Fold(name);
    auto value = std::find_if(node->values.begin(), node->values.end(),
                              [&folded](const Value& v) { return v.folded == folded; });
    if (value == node->values.end()) {
        node->values.push_back(Value{name, folded, type, data});
    } else {
        value->type = type;
        value->data = data;
    }
    return true;
}

bool CSimRegistry::SetString(HKEY root, const std::string& path, const std::string& name,
                             const std::string& text, DWORD type) {
    std::vector<BYTE> data(text.begin(), text.end());
    data.push_back(0);
    return SetValue(root, path, name, type, data);
}

bool CSimRegistry::SetDword(HKEY root, const std::string& path, const std::string& name,
                            DWORD value) {
    std::vector<BYTE> data(4);
    for (std::size_t i = 0; i < 4; ++i) {
        data[i] = static_cast<BYTE>(value >> (8 * i));
    }
    return SetValue(root, path, name, REG_DWORD, data);
}

bool CSimRegistry::SetBinary(HKEY root, const std::string& path, const std::string& name,
                             const std::vector<BYTE>& data) {
    return SetValue(root, path, name, REG_BINARY, data);
}

bool CSimRegistry::SetMultiString(HKEY root, const std::string& path, const std::string& name,
                                  const std::vector<std::string>& texts) {
    std::vector<BYTE> data;
    for (const auto& text : texts) {
        data.insert(data.end(), text.begin(), text.end());
        data.push_back(0);
    }
    data.push_back(0);
    return SetValue(root, path, name, REG_MULTI_SZ, data);
}

bool CSimRegistry::DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    Node* node = HelperFind(root, path);
    if (node == nullptr) {
        return false;
    }
    const std::string folded = Fold(name);
    auto value = std::find_if(node->values.begin(), node->values.end(),
                              [&folded](const Value& v) { return v.folded == folded; });
    if (value == node->values.end()) {
        return false;
    }
    node->values.erase(value);
    return true;
}

bool CSimRegistry::DeleteTree(HKEY root, const std::string& path) {
    Node* node = HelperFind(root, path);
    if (node == nullptr || node->parent == nullptr) {
        return false;
    }
    Detach(node);
    return true;
}

bool CSimRegistry::KeyExists(HKEY root, const std::string& path) const {
    return HelperFind(root, path) != nullptr;
}

bool CSimRegistry::GetValue(HKEY root, const std::string& path, const std::string& name,
                            DWORD* type, std::vector<BYTE>* data) const {
    const Node* node = HelperFind(root, path);
    if (node == nullptr) {
        return false;
    }
    const std::string folded = Fold(name);
    auto value = std::find_if(node->values.begin(), node->values.end(),
                              [&folded](const Value& v) { return v.folded == folded; });
    if (value == node->values.end()) {
        return false;
    }
    if (type != nullptr) {
        *type = value->type;
    }
    if (data != nullptr) {
        *data = value->data;
    }
    return true;
}

std::vector<std::string> CSimRegistry::SubKeyNames(HKEY root, const std::string& path) const {
    std::vector<std::string> names;
    if (const Node* node = HelperFind(root, path)) {
        for (const auto& child : node->children) {
            names.push_back(child->name);
        }
    }
    return names;
}

// --- Access rights and failures ----------------------------------------------

bool CSimRegistry::RuleKey(HKEY root, const std::string& path, std::string* foldedPath) const {
    Node* base = HelperBase(root);
    std::vector<std::string> parts;
    if (base == nullptr || !SplitPath(path.c_str(), &parts)) {
        return false;
    }
    *foldedPath = JoinFolded(base->foldedPath, parts);
    return true;
}

bool CSimRegistry::DenyAccess(HKEY root, const std::string& path, REGSAM rights, bool subtree) {
    std::string key;
    if (!RuleKey(root, path, &key)) {
        return false;
    }
    m_denials[key] = DenyRule{rights, subtree};
    m_anySubtreeDenial = m_anySubtreeDenial || subtree;
    return true;
}

bool CSimRegistry::AllowAccess(HKEY root, const std::string& path) {
    std::string key;
    if (!RuleKey(root, path, &key)) {
        return false;
    }
    m_denials.erase(key);
    m_anySubtreeDenial = std::any_of(m_denials.begin(), m_denials.end(),
                                     [](const auto& rule) { return rule.second.subtree; });
    return true;
}

bool CSimRegistry::InjectFailure(ERegCall call, HKEY root, const std::string& path, LONG code,
                                 unsigned skip, unsigned times) {
    Failure failure;
    failure.call = call;
    if (call != ERegCall::ExpandEnvironment && !RuleKey(root, path, &failure.foldedPath)) {
        return false;
    }
    failure.code = code;
    failure.skip = skip;
    failure.times = times;
    m_failures.push_back(std::move(failure));
    return true;
}

// --- Environment and accounting ----------------------------------------------

void CSimRegistry::SetEnvironment(const std::string& name, const std::string& value) {
    m_environment[Fold(name)] = std::make_pair(name, value);
}

std::vector<std::string> CSimRegistry::LeakedKeys() const {
    std::vector<std::pair<std::uintptr_t, const Node*>> open;
    for (const auto& entry : m_handles) {
        open.emplace_back(entry.first, entry.second.node.get());
    }
    std::sort(open.begin(), open.end());
    std::vector<std::string> paths;
    for (const auto& entry : open) {
        paths.push_back(entry.second->deleted ? entry.second->path + " (deleted)"
                                              : entry.second->path);
    }
    return paths;
}

std::uint64_t CSimRegistry::TotalCallCount() const {
    std::uint64_t total = 0;
    for (auto calls : m_calls) {
        total += calls;
    }
    return total;
}

void CSimRegistry::ResetCallCounts() {
    for (auto& calls : m_calls) {
        calls = 0;
    }
}

}  // namespace Sim
}  // namespace Tolvane
