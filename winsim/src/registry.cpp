// winsim: the registry (advapi32) with HKCU, HKLM and HKCR trees, open-key handles and the
// size and error rules of RegQueryValueExA that callers depend on.
#include "machine.h"

#include <cstring>

using namespace winsim::detail;

namespace {

RegKeyNode* RootNode(HKEY root) {
    Machine& m = M();
    if (root == HKEY_CURRENT_USER)
        return &m.hkcu;
    if (root == HKEY_LOCAL_MACHINE)
        return &m.hklm;
    if (root == HKEY_CLASSES_ROOT)
        return &m.hkcr;
    return nullptr;
}

bool IsPredefined(HKEY key) {
    return RootNode(key) != nullptr;
}

struct Resolved {
    RegKeyNode* node = nullptr;
    std::string path;
    HKEY root = nullptr;
    REGSAM access = KEY_ALL_ACCESS;
};

bool ResolveBase(HKEY key, Resolved* out) {
    if (RegKeyNode* n = RootNode(key)) {
        *out = Resolved{n, "", key, KEY_ALL_ACCESS};
        return true;
    }
    auto it = M().keys.find(reinterpret_cast<uintptr_t>(key));
    if (it == M().keys.end())
        return false;
    *out = Resolved{it->second.node, it->second.path, it->second.root, it->second.access};
    return true;
}

// Splits "a\b\" into {"a","b"}: a trailing backslash names the same key.
std::vector<std::string> Split(const char* subKey) {
    std::vector<std::string> parts;
    std::string cur;
    for (const char* p = subKey ? subKey : ""; *p; ++p) {
        if (*p == '\\') {
            if (!cur.empty())
                parts.push_back(cur);
            cur.clear();
        } else {
            cur += *p;
        }
    }
    if (!cur.empty())
        parts.push_back(cur);
    return parts;
}

// Keys made on the way take the creation's options: a volatile parent takes no lasting child.
RegKeyNode* Walk(RegKeyNode* node, const std::vector<std::string>& parts, bool create,
                 bool* created, DWORD options = REG_OPTION_NON_VOLATILE,
                 LSTATUS* status = nullptr) {
    for (const std::string& part : parts) {
        auto& child = node->subkeys[Lower(part)];
        if (!child) {
            bool makeVolatile = (options & REG_OPTION_VOLATILE) != 0;
            // The control API (no status asked) builds any tree a test wants.
            if (!create || (status && node->isVolatile && !makeVolatile)) {
                node->subkeys.erase(Lower(part));
                if (status)
                    *status = create ? ERROR_CHILD_MUST_BE_VOLATILE : ERROR_FILE_NOT_FOUND;
                return nullptr;
            }
            child = std::make_unique<RegKeyNode>();
            child->name = part;
            child->isVolatile = makeVolatile;
            if (created)
                *created = true;
        }
        node = child.get();
    }
    return node;
}

void DropVolatile(RegKeyNode* node) {
    for (auto it = node->subkeys.begin(); it != node->subkeys.end();) {
        if (it->second->isVolatile) {
            it = node->subkeys.erase(it);
        } else {
            DropVolatile(it->second.get());
            ++it;
        }
    }
}

std::string Join(const std::string& base, const std::vector<std::string>& parts) {
    std::string path = base;
    for (const std::string& p : parts)
        path += (path.empty() ? "" : "\\") + p;
    return path;
}

HKEY NewKey(RegKeyNode* node, const std::string& path, HKEY root, REGSAM access) {
    uintptr_t h = NewHandleValue();
    M().keys[h] = OpenKey{node, path, root, access};
    return reinterpret_cast<HKEY>(h);
}

RegKeyNode* FindPath(HKEY root, const std::string& path, bool create) {
    RegKeyNode* n = RootNode(root);
    return n ? Walk(n, Split(path.c_str()), create, nullptr) : nullptr;
}

} // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    if (Fails("RegOpenKeyExA"))
        return LSTATUS(M().lastError);
    if (!result)
        return ERROR_INVALID_PARAMETER;
    Resolved base;
    if (!ResolveBase(key, &base))
        return ERROR_INVALID_HANDLE;
    auto parts = Split(subKey);
    RegKeyNode* node = Walk(base.node, parts, false, nullptr);
    if (!node)
        return ERROR_FILE_NOT_FOUND;
    *result = NewKey(node, Join(base.path, parts), base.root, access);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD, LPSTR, DWORD options, REGSAM access,
                               LPSECURITY_ATTRIBUTES, PHKEY result, LPDWORD disposition) {
    if (Fails("RegCreateKeyExA"))
        return LSTATUS(M().lastError);
    if (!result)
        return ERROR_INVALID_PARAMETER;
    Resolved base;
    if (!ResolveBase(key, &base))
        return ERROR_INVALID_HANDLE;
    auto parts = Split(subKey);
    bool created = false;
    LSTATUS status = ERROR_SUCCESS;
    RegKeyNode* node = Walk(base.node, parts, true, &created, options, &status);
    if (!node)
        return status;
    if (disposition)
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    std::string path = Join(base.path, parts);
    *result = NewKey(node, path, base.root, access);
    M().regCreations.push_back(winsim::RegCreation{base.root, path, options, access, created});
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type,
                                LPBYTE data, LPDWORD dataSize) {
    if (Fails("RegQueryValueExA"))
        return LSTATUS(M().lastError);
    if (reserved || (data && !dataSize))
        return ERROR_INVALID_PARAMETER;
    Resolved base;
    if (!ResolveBase(key, &base))
        return ERROR_INVALID_HANDLE;
    if (!(base.access & KEY_QUERY_VALUE))
        return ERROR_ACCESS_DENIED;
    auto it = base.node->values.find(Lower(valueName ? valueName : ""));
    if (it == base.node->values.end())
        return ERROR_FILE_NOT_FOUND;
    const winsim::RegValue& v = it->second;
    DWORD size = DWORD(v.data.size());
    if (type)
        *type = v.type;
    if (data) {
        if (size > *dataSize) {
            // The buffer's content is undefined after ERROR_MORE_DATA; leave what a partial
            // copy would, so that callers who trust it are caught.
            if (*dataSize)
                std::memcpy(data, v.data.data(), *dataSize);
            *dataSize = size;
            return ERROR_MORE_DATA;
        }
        if (size)
            std::memcpy(data, v.data.data(), size);
    }
    if (dataSize)
        *dataSize = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                              DWORD dataSize) {
    if (Fails("RegSetValueExA"))
        return LSTATUS(M().lastError);
    Resolved base;
    if (!ResolveBase(key, &base))
        return ERROR_INVALID_HANDLE;
    if (!(base.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    if (!data && dataSize)
        return ERROR_INVALID_PARAMETER;
    std::string name = valueName ? valueName : "";
    winsim::RegValue v;
    v.type = type;
    if (dataSize)
        v.data.assign(data, data + dataSize);
    base.node->values[Lower(name)] = v;
    base.node->valueNames[Lower(name)] = name;
    M().regWrites.push_back(winsim::RegWrite{base.path, name, type, v.data});
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR valueName) {
    if (Fails("RegDeleteValueA"))
        return LSTATUS(M().lastError);
    Resolved base;
    if (!ResolveBase(key, &base))
        return ERROR_INVALID_HANDLE;
    if (!(base.access & KEY_SET_VALUE))
        return ERROR_ACCESS_DENIED;
    std::string lower = Lower(valueName ? valueName : "");
    if (!base.node->values.erase(lower))
        return ERROR_FILE_NOT_FOUND;
    base.node->valueNames.erase(lower);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY key, LPCSTR subKey) {
    if (Fails("RegDeleteKeyA"))
        return LSTATUS(M().lastError);
    Resolved base;
    if (!ResolveBase(key, &base))
        return ERROR_INVALID_HANDLE;
    auto parts = Split(subKey);
    if (parts.empty())
        return ERROR_ACCESS_DENIED;
    std::string last = Lower(parts.back());
    parts.pop_back();
    RegKeyNode* parent = Walk(base.node, parts, false, nullptr);
    if (!parent || !parent->subkeys.count(last))
        return ERROR_FILE_NOT_FOUND;
    // Open handles to the deleted key keep pointing at it in Windows; winsim refuses instead.
    for (auto& k : M().keys)
        if (k.second.node == parent->subkeys[last].get())
            return ERROR_ACCESS_DENIED;
    if (!parent->subkeys[last]->subkeys.empty())
        return ERROR_ACCESS_DENIED;
    parent->subkeys.erase(last);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
    if (Fails("RegCloseKey"))
        return LSTATUS(M().lastError);
    if (IsPredefined(key))
        return ERROR_SUCCESS;
    uintptr_t h = reinterpret_cast<uintptr_t>(key);
    if (!M().keys.erase(h))
        return ERROR_INVALID_HANDLE;
    return ERROR_SUCCESS;
}

namespace winsim {

void RegPut(HKEY root, const std::string& path, const std::string& name, DWORD type,
            const std::vector<BYTE>& data) {
    RegKeyNode* node = FindPath(root, path, true);
    node->values[Lower(name)] = RegValue{type, data};
    node->valueNames[Lower(name)] = name;
}

void RegPutDword(HKEY root, const std::string& path, const std::string& name, DWORD value) {
    std::vector<BYTE> data(4);
    std::memcpy(data.data(), &value, 4);
    RegPut(root, path, name, REG_DWORD, data);
}

void RegPutBinary(HKEY root, const std::string& path, const std::string& name,
                  const std::vector<BYTE>& data) {
    RegPut(root, path, name, REG_BINARY, data);
}

void RegPutKey(HKEY root, const std::string& path) {
    FindPath(root, path, true);
}

bool RegKeyExists(HKEY root, const std::string& path) {
    return FindPath(root, path, false) != nullptr;
}

bool RegGet(HKEY root, const std::string& path, const std::string& name, RegValue* value) {
    RegKeyNode* node = FindPath(root, path, false);
    if (!node)
        return false;
    auto it = node->values.find(Lower(name));
    if (it == node->values.end())
        return false;
    if (value)
        *value = it->second;
    return true;
}

const std::vector<RegWrite>& RegWrites() {
    return M().regWrites;
}

const std::vector<RegCreation>& RegCreations() {
    return M().regCreations;
}

void Reboot() {
    Machine& m = M();
    m.keys.clear();
    DropVolatile(&m.hkcu);
    DropVolatile(&m.hklm);
    DropVolatile(&m.hkcr);
}

int OpenKeyCount() {
    return int(M().keys.size());
}

} // namespace winsim
