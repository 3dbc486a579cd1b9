// Resources compiled into the executable, looked up by (type, id) the way the
// client's code finds, loads and locks a resource of its own module.
//
// The table itself is generated at build time (cmake torvane_resources) from
// res/resources.txt or a variant's manifest; every executable links one.
// Types in use: "XML" (400 configuration, 401 skin), "PNG" (skin images by
// id), "ICON" (128, a PNG), "STRINGTABLE" (1: lines "id<TAB>text") and
// "MENU" (200: the tray menu, see platform/ui/Menu.h).
//
// Thread safety: lookups may run on any thread; the test overrides below are
// for the user-interface thread of a test, before the code under test runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

struct ResourceEntry {
  const char* type;
  int id;
  const unsigned char* begin;
  const unsigned char* end;
};

// Defined by the generated table that the executable links.
const ResourceEntry* TorvaneResourceTable();

namespace res {

// The bytes of resource (type, id), or nothing when the executable has no such
// resource. A resource of size 0 is returned as an empty span.
std::optional<std::span<const std::uint8_t>> Find(std::string_view type, int id);

// String id from the string table, or "" when it has none.
std::string LoadString(int id);

namespace testing {
// Replaces (or adds) resource (type, id) with the given bytes for this process.
void Override(std::string_view type, int id, std::string bytes);
// Makes resource (type, id) missing for this process.
void Remove(std::string_view type, int id);
// Back to the compiled table.
void Reset();
}  // namespace testing

}  // namespace res
