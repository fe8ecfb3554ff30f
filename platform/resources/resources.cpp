#include "platform/resources/resources.h"

#include <algorithm>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <utility>

namespace qel::res {
namespace {

struct Module {
  std::string name;
  std::map<std::pair<std::string, unsigned>, std::string> owned;
  bool library = false;
};

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return u;
}

std::mutex g_mutex;
// The chain, head first; the library's module is made at first use.
std::list<std::unique_ptr<Module>>& Chain() {
  static std::list<std::unique_ptr<Module>> chain = [] {
    std::list<std::unique_ptr<Module>> c;
    auto lib = std::make_unique<Module>();
    lib->name = "qelshare";
    lib->library = true;
    c.push_back(std::move(lib));
    return c;
  }();
  return chain;
}

Module* ModuleOf(HINSTANCE h) {
  for (auto& m : Chain()) {
    if (reinterpret_cast<HINSTANCE>(m.get()) == h) return m.get();
  }
  return nullptr;
}

std::optional<std::string_view> FindIn(Module const& m, std::string_view type, unsigned id) {
  std::string key = Upper(type);
  if (auto it = m.owned.find({key, id}); it != m.owned.end()) return it->second;
  if (m.library) {
    for (Embedded const& e : EmbeddedResources()) {
      if (e.id == id && Upper(e.type) == key) return e.bytes;
    }
  }
  return std::nullopt;
}

}  // namespace

HINSTANCE LibraryModule() {
  std::lock_guard lock(g_mutex);
  for (auto& m : Chain()) {
    if (m->library) return reinterpret_cast<HINSTANCE>(m.get());
  }
  return nullptr;
}

HINSTANCE FindModule(std::string_view name) {
  std::lock_guard lock(g_mutex);
  std::string key = Upper(name);
  for (auto& m : Chain()) {
    if (Upper(m->name) == key) return reinterpret_cast<HINSTANCE>(m.get());
  }
  return nullptr;
}

HINSTANCE CreateModule(std::string_view name) {
  std::lock_guard lock(g_mutex);
  auto m = std::make_unique<Module>();
  m->name = std::string(name);
  HINSTANCE h = reinterpret_cast<HINSTANCE>(m.get());
  Chain().push_front(std::move(m));
  return h;
}

bool DestroyModule(HINSTANCE module) {
  std::lock_guard lock(g_mutex);
  auto& chain = Chain();
  auto it = std::find_if(chain.begin(), chain.end(), [&](auto const& m) {
    return reinterpret_cast<HINSTANCE>(m.get()) == module && !m->library;
  });
  if (it == chain.end()) return false;
  chain.erase(it);
  return true;
}

bool AddResource(HINSTANCE module, std::string_view type, unsigned id, std::string bytes) {
  std::lock_guard lock(g_mutex);
  Module* m = ModuleOf(module);
  if (!m) return false;
  m->owned[{Upper(type), id}] = std::move(bytes);
  return true;
}

std::optional<std::string_view> Find(HINSTANCE module, std::string_view type, unsigned id) {
  std::lock_guard lock(g_mutex);
  Module* m = ModuleOf(module);
  if (!m) return std::nullopt;
  return FindIn(*m, type, id);
}

std::optional<std::string_view> FindInChain(std::string_view type, unsigned id) {
  std::lock_guard lock(g_mutex);
  for (auto& m : Chain()) {
    if (auto found = FindIn(*m, type, id)) return found;
  }
  return std::nullopt;
}

}  // namespace qel::res
