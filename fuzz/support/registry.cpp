// In-memory registry with the platform's semantics for the calls the pure
// logic makes: names compared without regard to ASCII case and otherwise byte
// for byte, subkeys listed in sorted order, a key with subkeys not deletable
// (the NT rule), every handle counted so that a leak shows.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/stand_ins.h"

namespace {

struct Node {
  std::string name;
  std::vector<std::unique_ptr<Node>> children;
  std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> values;
  bool deleted = false;
};

int FoldedCompare(const std::string& a, const std::string& b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x -= 32;
    if (y >= 'a' && y <= 'z') y -= 32;
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

std::map<ULONG_PTR, std::unique_ptr<Node>> g_roots;
std::map<ULONG_PTR, Node*> g_handles;
std::vector<std::unique_ptr<Node>> g_deleted;  // deleted while a handle was open on them
ULONG_PTR g_nextHandle = 0x1000;

Node* Resolve(HKEY key) {
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(key);
  if (static_cast<LONG>(value) < 0 && value >= reinterpret_cast<ULONG_PTR>(HKEY_CLASSES_ROOT) &&
      value <= reinterpret_cast<ULONG_PTR>(HKEY_DYN_DATA)) {
    std::unique_ptr<Node>& root = g_roots[value];
    if (!root) root.reset(new Node);
    return root.get();
  }
  auto it = g_handles.find(value);
  return it == g_handles.end() ? nullptr : it->second;
}

Node* Child(Node* parent, const std::string& name) {
  for (auto& c : parent->children)
    if (FoldedCompare(c->name, name) == 0) return c.get();
  return nullptr;
}

// Walks a relative path of backslash-separated names; creates missing keys on request.
Node* Walk(Node* node, const char* path, bool create) {
  if (!path) return node;
  std::string rest(path);
  size_t start = 0;
  while (start <= rest.size() && node) {
    size_t end = rest.find('\\', start);
    if (end == std::string::npos) end = rest.size();
    const std::string part = rest.substr(start, end - start);
    if (!part.empty()) {
      if (part.size() > 255) return nullptr;
      Node* next = Child(node, part);
      if (!next && create) {
        node->children.emplace_back(new Node);
        next = node->children.back().get();
        next->name = part;
        std::sort(node->children.begin(), node->children.end(),
                  [](const std::unique_ptr<Node>& a, const std::unique_ptr<Node>& b) {
                    return FoldedCompare(a->name, b->name) < 0;
                  });
      }
      node = next;
    }
    start = end + 1;
  }
  return node;
}

HKEY NewHandle(Node* node) {
  const ULONG_PTR value = g_nextHandle++;
  g_handles[value] = node;
  return reinterpret_cast<HKEY>(value);
}

// Names and data with every byte outside the printable ASCII range escaped, so
// that each key and each value takes one line.
std::string Escaped(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    }
  }
  return out;
}

void Describe(const Node& node, const std::string& path, std::string& out) {
  out += path + "\n";
  std::vector<std::pair<std::string, std::pair<DWORD, std::string>>> values = node.values;
  std::sort(values.begin(), values.end(),
            [](const auto& a, const auto& b) { return FoldedCompare(a.first, b.first) < 0; });
  for (const auto& v : values)
    out += path + " [" + Escaped(v.first) + "] " + std::to_string(v.second.first) + ":" + Escaped(v.second.second) +
           "\n";
  for (const auto& child : node.children) Describe(*child, path + "/" + Escaped(child->name), out);
}

void Collect(const Node& node, HKEY root, std::vector<std::string>& path,
             std::vector<std::pair<HKEY, std::vector<std::string>>>& out) {
  for (const auto& child : node.children) {
    path.push_back(child->name);
    out.push_back({root, path});
    Collect(*child, root, path, out);
    path.pop_back();
  }
}

}  // namespace

namespace standin {
std::vector<std::pair<HKEY, std::vector<std::string>>> Keys() {
  std::vector<std::pair<HKEY, std::vector<std::string>>> out;
  std::vector<std::string> path;
  for (const auto& root : g_roots) Collect(*root.second, reinterpret_cast<HKEY>(root.first), path, out);
  return out;
}
std::string Snapshot() {
  std::string out;
  for (const auto& root : g_roots) Describe(*root.second, std::to_string(root.first), out);
  return out;
}
bool Empty() {
  for (const auto& root : g_roots)
    if (!root.second->children.empty() || !root.second->values.empty()) return false;
  return true;
}
long OpenKeyCount() { return static_cast<long>(g_handles.size()); }
void ResetRegistry() {
  g_handles.clear();
  g_roots.clear();
  g_deleted.clear();
}
bool KeyExists(HKEY root, const char* path) { return Walk(Resolve(root), path, false) != nullptr; }
}  // namespace standin

extern "C" {

LSTATUS WINAPI RegOpenKeyExA(HKEY parent, LPCSTR name, DWORD, REGSAM, PHKEY result) {
  Node* node = Resolve(parent);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  node = Walk(node, name, false);
  if (!node) return ERROR_FILE_NOT_FOUND;
  *result = NewHandle(node);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY parent, LPCSTR name, DWORD, LPSTR, DWORD, REGSAM, LPSECURITY_ATTRIBUTES,
                               PHKEY result, LPDWORD disposition) {
  Node* node = Resolve(parent);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  node = Walk(node, name, true);
  if (!node) return ERROR_INVALID_PARAMETER;
  *result = NewHandle(node);
  if (disposition) *disposition = REG_CREATED_NEW_KEY;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY key) {
  return g_handles.erase(reinterpret_cast<ULONG_PTR>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS WINAPI RegDeleteKeyA(HKEY parent, LPCSTR name) {
  Node* node = Resolve(parent);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  if (!name || !*name) return ERROR_ACCESS_DENIED;
  std::string path(name), leaf = path;
  Node* owner = node;
  const size_t slash = path.rfind('\\');
  if (slash != std::string::npos) {
    owner = Walk(node, path.substr(0, slash).c_str(), false);
    leaf = path.substr(slash + 1);
  }
  if (!owner) return ERROR_FILE_NOT_FOUND;
  for (auto it = owner->children.begin(); it != owner->children.end(); ++it) {
    if (FoldedCompare((*it)->name, leaf) != 0) continue;
    if (!(*it)->children.empty()) return ERROR_ACCESS_DENIED;
    // Handles still open on the key stay valid but see a deleted key.
    std::unique_ptr<Node> dead = std::move(*it);
    dead->deleted = true;
    owner->children.erase(it);
    for (auto& h : g_handles)
      if (h.second == dead.get()) {
        g_deleted.push_back(std::move(dead));  // kept for its handles until the reset
        break;
      }
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD size, LPDWORD, LPSTR, LPDWORD,
                             PFILETIME) {
  Node* node = Resolve(key);
  if (!node) return ERROR_INVALID_HANDLE;
  if (node->deleted) return ERROR_KEY_DELETED;
  if (index >= node->children.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& n = node->children[index]->name;
  if (n.size() + 1 > *size) return ERROR_MORE_DATA;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *size = static_cast<DWORD>(n.size());
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY key, LPCSTR name, DWORD, DWORD type, const BYTE* data, DWORD size) {
  Node* node = Resolve(key);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  const std::string n = name ? name : "";
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (auto& v : node->values)
    if (FoldedCompare(v.first, n) == 0) {
      v.second = {type, bytes};
      return ERROR_SUCCESS;
    }
  node->values.push_back({n, {type, bytes}});
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD, LPDWORD type, LPBYTE data, LPDWORD size) {
  Node* node = Resolve(key);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  const std::string n = name ? name : "";
  for (auto& v : node->values) {
    if (FoldedCompare(v.first, n) != 0) continue;
    if (type) *type = v.second.first;
    const DWORD needed = static_cast<DWORD>(v.second.second.size());
    if (data && size && *size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (data) std::memcpy(data, v.second.second.data(), needed);
    if (size) *size = needed;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteValueA(HKEY key, LPCSTR name) {
  Node* node = Resolve(key);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  const std::string n = name ? name : "";
  for (auto it = node->values.begin(); it != node->values.end(); ++it)
    if (FoldedCompare(it->first, n) == 0) {
      node->values.erase(it);
      return ERROR_SUCCESS;
    }
  return ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD size, LPDWORD, LPDWORD type, LPBYTE,
                             LPDWORD) {
  Node* node = Resolve(key);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
  const std::string& n = node->values[index].first;
  if (n.size() + 1 > *size) return ERROR_MORE_DATA;
  std::memcpy(name, n.c_str(), n.size() + 1);
  *size = static_cast<DWORD>(n.size());
  if (type) *type = node->values[index].second.first;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY key, LPSTR, LPDWORD, LPDWORD, LPDWORD subkeys, LPDWORD, LPDWORD,
                                LPDWORD values, LPDWORD, LPDWORD, LPDWORD, LPFILETIME) {
  Node* node = Resolve(key);
  if (!node || node->deleted) return ERROR_INVALID_HANDLE;
  if (subkeys) *subkeys = static_cast<DWORD>(node->children.size());
  if (values) *values = static_cast<DWORD>(node->values.size());
  return ERROR_SUCCESS;
}

}  // extern "C"
