#include "platform/base/Resources.h"

#include <map>
#include <mutex>
#include <utility>

namespace res {
namespace {

struct Override {
  bool removed = false;
  std::string bytes;
};

std::mutex g_lock;
std::map<std::pair<std::string, int>, Override>& Overrides() {
  static std::map<std::pair<std::string, int>, Override> overrides;
  return overrides;
}

}  // namespace

std::optional<std::span<const std::uint8_t>> Find(std::string_view type, int id) {
  {
    std::lock_guard<std::mutex> hold(g_lock);
    auto& overrides = Overrides();
    if (!overrides.empty()) {
      auto it = overrides.find({std::string(type), id});
      if (it != overrides.end()) {
        if (it->second.removed) return std::nullopt;
        const auto* data = reinterpret_cast<const std::uint8_t*>(it->second.bytes.data());
        return std::span<const std::uint8_t>(data, it->second.bytes.size());
      }
    }
  }
  for (const ResourceEntry* e = TorvaneResourceTable(); e && e->type; ++e) {
    if (e->id == id && type == e->type)
      return std::span<const std::uint8_t>(e->begin, static_cast<std::size_t>(e->end - e->begin));
  }
  return std::nullopt;
}

std::string LoadString(int id) {
  auto table = Find("STRINGTABLE", 1);
  if (!table) return {};
  std::string_view text(reinterpret_cast<const char*>(table->data()), table->size());
  while (!text.empty()) {
    std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos) continue;
    int lineId = 0;
    bool digits = tab > 0;
    for (char c : line.substr(0, tab)) {
      if (c < '0' || c > '9') { digits = false; break; }
      lineId = lineId * 10 + (c - '0');
    }
    if (digits && lineId == id) return std::string(line.substr(tab + 1));
  }
  return {};
}

namespace testing {

void Override(std::string_view type, int id, std::string bytes) {
  std::lock_guard<std::mutex> hold(g_lock);
  Overrides()[{std::string(type), id}] = {false, std::move(bytes)};
}

void Remove(std::string_view type, int id) {
  std::lock_guard<std::mutex> hold(g_lock);
  Overrides()[{std::string(type), id}] = {true, {}};
}

void Reset() {
  std::lock_guard<std::mutex> hold(g_lock);
  Overrides().clear();
}

}  // namespace testing
}  // namespace res
