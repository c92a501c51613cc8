// An in-memory registry with the behaviour of the Windows registry calls that
// the tool makes: the base of the virtual PC and the double of every test
// that touches the registry.
//
// What it models:
// - one tree of keys under each predefined root; key and value names compare
//   case-insensitively (ASCII letters; the trail bytes of code page 932
//   double-byte characters are left alone, so a 0x5C trail byte is neither a
//   separator nor folded); enumeration follows creation order;
// - values as a type number plus raw bytes, so that unterminated strings,
//   odd-sized multi-strings and short numbers can be stored as found in the
//   wild;
// - handles: every open or create hands out a new handle that is never reused;
//   closing twice or closing an unknown handle gives ERROR_INVALID_HANDLE and
//   is counted; a handle keeps working after its key is deleted, but every call
//   through it then gives ERROR_KEY_DELETED;
// - access: a handle carries the rights it was opened with, and each call
//   checks the right it needs; a key can deny rights, so that opening it with
//   them gives ERROR_ACCESS_DENIED, as for a user without administrator
//   rights;
// - injected failures, a small environment for ExpandEnvironmentStringsA, and
//   a call counter per operation.
//
// One thread at a time: the class takes no lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/registry_api.h"
#include "platform/win_types.h"

namespace Tolvane {
namespace Sim {

// The operations of the registry interface, for the call counters and for
// injected failures.
enum class ERegCall {
    OpenKey,
    CreateKey,
    QueryValue,
    EnumKey,
    EnumValue,
    SetValue,
    DeleteValue,
    DeleteKey,
    FlushKey,
    CloseKey,
    ExpandEnvironment,
    SetLastError,
    GetLastError,
    Count
};

class CSimRegistry : public ZRK::CRegistryApi {
public:
    // The rights that an ordinary user lacks on the machine's keys.
    static constexpr REGSAM kAdminOnlyRights =
        KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;
    // `times` of an injected failure that never wears off.
    static constexpr unsigned kAlways = ~0u;

    CSimRegistry();
    ~CSimRegistry() override;
    CSimRegistry(const CSimRegistry&) = delete;
    CSimRegistry& operator=(const CSimRegistry&) = delete;

    // --- The registry interface -------------------------------------------
    LONG RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM access,
                       HKEY* result) override;
    LONG RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                         REGSAM access, void* security, HKEY* result, DWORD* disposition) override;
    LONG RegQueryValueExA(HKEY key, LPCSTR valueName, DWORD* reserved, DWORD* type, BYTE* data,
                          DWORD* dataSize) override;
    LONG RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                       LPSTR className, DWORD* classSize, FILETIME* lastWrite) override;
    LONG RegEnumValueA(HKEY key, DWORD index, LPSTR name, DWORD* nameSize, DWORD* reserved,
                       DWORD* type, BYTE* data, DWORD* dataSize) override;
    LONG RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                        DWORD dataSize) override;
    LONG RegDeleteValueA(HKEY key, LPCSTR valueName) override;
    LONG RegDeleteKeyA(HKEY key, LPCSTR subKey) override;
    LONG RegFlushKey(HKEY key) override;
    LONG RegCloseKey(HKEY key) override;
    DWORD ExpandEnvironmentStringsA(LPCSTR source, LPSTR destination, DWORD size) override;
    void SetLastError(DWORD code) override;
    DWORD GetLastError() override;

    // --- Building and inspecting the tree ----------------------------------
    // `root` is a predefined root (HKEY_LOCAL_MACHINE, ...) or a handle that
    // is open; `path` is relative to it ("" is the root's own key). These
    // helpers ignore access rights and injected failures and are not counted.
    // Missing keys along the path are created. A bad root or path (an empty
    // component, as in "A\\\\B") gives false.
    bool CreateKey(HKEY root, const std::string& path);
    bool SetValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                  const std::vector<BYTE>& data);
    // REG_SZ (or REG_EXPAND_SZ) with its terminating zero.
    bool SetString(HKEY root, const std::string& path, const std::string& name,
                   const std::string& text, DWORD type = REG_SZ);
    bool SetDword(HKEY root, const std::string& path, const std::string& name, DWORD value);
    bool SetBinary(HKEY root, const std::string& path, const std::string& name,
                   const std::vector<BYTE>& data);
    // REG_MULTI_SZ: every text with its zero, then the zero that ends the list.
    bool SetMultiString(HKEY root, const std::string& path, const std::string& name,
                        const std::vector<std::string>& texts);
    bool DeleteValue(HKEY root, const std::string& path, const std::string& name);
    // Removes the key with everything below it (not the root's own key); open
    // handles on removed keys then see ERROR_KEY_DELETED.
    bool DeleteTree(HKEY root, const std::string& path);

    bool KeyExists(HKEY root, const std::string& path) const;
    // False when the key or the value is missing; type and data may be null.
    bool GetValue(HKEY root, const std::string& path, const std::string& name, DWORD* type,
                  std::vector<BYTE>* data) const;
    // Names as created, in enumeration order; empty for a missing key.
    std::vector<std::string> SubKeyNames(HKEY root, const std::string& path) const;
    // Number of keys in all trees, the roots' own keys not included.
    std::size_t KeyCount() const { return m_keyCount; }

    // --- Access rights ------------------------------------------------------
    // Opening the key at `path` asking for any of `rights` gives
    // ERROR_ACCESS_DENIED, and so does creating a sub-key below it when
    // `rights` holds KEY_CREATE_SUB_KEY, or deleting it when they hold DELETE.
    // With `subtree` the denial covers every key below as well. The rule
    // belongs to the path: it holds for keys created there later. Denying on
    // the root's own key ("") restricts the predefined handle too.
    // A bad root or path gives false and sets no rule.
    bool DenyAccess(HKEY root, const std::string& path, REGSAM rights, bool subtree = false);
    bool AllowAccess(HKEY root, const std::string& path);  // drops the rule of `path`

    // --- Injected failures --------------------------------------------------
    // Calls of `call` that act on the key at `path` fail with `code`: the
    // first `skip` such calls pass, the `times` after them fail (kAlways: all
    // of them). Open, create and delete act on the key they name, the other
    // calls on the key of their handle. For ExpandEnvironment root and path are
    // ignored and a failure returns 0. Close calls cannot be made to fail.
    // A bad root or path gives false and injects nothing.
    bool InjectFailure(ERegCall call, HKEY root, const std::string& path, LONG code,
                       unsigned skip = 0, unsigned times = 1);

    // --- Environment for ExpandEnvironmentStringsA --------------------------
    // Starts with SystemRoot = C:\WINDOWS and windir = C:\WINDOWS.
    void SetEnvironment(const std::string& name, const std::string& value);

    // --- Accounting ---------------------------------------------------------
    std::size_t OpenKeyCount() const { return m_handles.size(); }
    // The keys of the handles still open, as full paths
    // ("HKEY_LOCAL_MACHINE\\SYSTEM\\..."), in the order they were opened.
    std::vector<std::string> LeakedKeys() const;
    // Closes of a handle that is not open (double close, made-up handle).
    std::size_t InvalidCloseCount() const { return m_invalidCloses; }
    // Other calls made with a handle that is neither open nor predefined.
    std::size_t InvalidHandleUseCount() const { return m_invalidUses; }
    std::uint64_t CallCount(ERegCall call) const { return m_calls[static_cast<std::size_t>(call)]; }
    std::uint64_t TotalCallCount() const;
    void ResetCallCounts();

private:
    struct Value {
        std::string name;
        std::string folded;
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
    };
    struct Node : std::enable_shared_from_this<Node> {
        std::string name;        // as created
        std::string path;        // "HKEY_LOCAL_MACHINE\\SYSTEM\\..." for reports
        std::string foldedPath;  // case-folded, the identity of rules and failures
        Node* parent = nullptr;
        bool deleted = false;
        std::vector<std::shared_ptr<Node>> children;  // creation order
        std::unordered_map<std::string, Node*> childIndex;
        std::vector<Value> values;  // creation order
    };
    struct Handle {
        std::shared_ptr<Node> node;  // keeps a deleted key alive for its handles
        REGSAM access = 0;
    };
    struct Failure {
        ERegCall call;
        std::string foldedPath;
        LONG code = 0;
        unsigned skip = 0;
        unsigned times = 0;
        unsigned seen = 0;
    };
    struct DenyRule {
        REGSAM rights = 0;
        bool subtree = false;
    };

    Node* RootNode(HKEY root) const;
    Node* Resolve(HKEY key, REGSAM* granted, LONG* error);
    Node* HelperBase(HKEY root) const;
    Node* HelperFind(HKEY root, const std::string& path) const;
    Node* HelperEnsure(HKEY root, const std::string& path);
    Node* Walk(Node* base, const std::vector<std::string>& parts) const;
    Node* AddChild(Node* parent, const std::string& name);
    void Detach(Node* node);
    static void Dismantle(std::shared_ptr<Node> top, std::size_t* removed);
    HKEY NewHandle(Node* node, REGSAM access);
    REGSAM DeniedRights(const Node* node) const;
    bool RuleKey(HKEY root, const std::string& path, std::string* foldedPath) const;
    LONG Injected(ERegCall call, const std::string& foldedPath);
    void Count(ERegCall call) { ++m_calls[static_cast<std::size_t>(call)]; }

    std::vector<std::shared_ptr<Node>> m_roots;
    std::unordered_map<std::uintptr_t, Handle> m_handles;
    std::uintptr_t m_nextHandle = 0x1000;
    std::vector<Failure> m_failures;
    std::unordered_map<std::string, DenyRule> m_denials;
    bool m_anySubtreeDenial = false;
    std::map<std::string, std::pair<std::string, std::string>> m_environment;
    std::uint64_t m_calls[static_cast<std::size_t>(ERegCall::Count)] = {};
    std::size_t m_keyCount = 0;
    std::size_t m_invalidCloses = 0;
    std::size_t m_invalidUses = 0;
    DWORD m_lastError = 0;
};

}  // namespace Sim
}  // namespace Tolvane
