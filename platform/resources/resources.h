// Module resources: byte blocks by module, type name and numeric identifier.
//
// A module is a handle; the library's own module holds its icons (type "ICON", the
// .ico files under resources/ embedded at build time), and hosts create modules of their
// own. Look-ups by module find only that module's resources; FindInChain searches every
// module, the most recently created first, as a chain of resource modules does.
#ifndef QELSHARE_PLATFORM_RESOURCES_RESOURCES_H_
#define QELSHARE_PLATFORM_RESOURCES_RESOURCES_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "qelshare/types.h"

namespace qel::res {

struct Embedded {
  unsigned id;
  std::string_view type;
  std::string_view bytes;
};

// The resources compiled into the library (generated from resources/).
std::span<Embedded const> EmbeddedResources();

// The library's module; its resources are the embedded ones.
HINSTANCE LibraryModule();
// The module of a name (compared without case), the most recently created first; null
// when none has it. The library's module is named "qelshare".
HINSTANCE FindModule(std::string_view name);
// A new, empty module at the head of the chain.
HINSTANCE CreateModule(std::string_view name);
// Removes a module created by CreateModule; false for any other handle.
bool DestroyModule(HINSTANCE module);
// Adds (or replaces) a resource of a module; false for an unknown module.
bool AddResource(HINSTANCE module, std::string_view type, unsigned id, std::string bytes);
// The bytes of a resource (type compared without case); nothing when absent.
std::optional<std::string_view> Find(HINSTANCE module, std::string_view type, unsigned id);
std::optional<std::string_view> FindInChain(std::string_view type, unsigned id);

}  // namespace qel::res

#endif  // QELSHARE_PLATFORM_RESOURCES_RESOURCES_H_
