// The index of wires by name and alias against a standard map: random
// entries, lookups and removals, so that runs of neighbouring slots wrap
// around the table's end and are closed up again after removals.

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "sdr_wire_index.h"

namespace {

SDR_DATA_SIGNAL_WIRE* fake_wire(size_t n) {
  // Only compared, never dereferenced.
  return reinterpret_cast<SDR_DATA_SIGNAL_WIRE*>(static_cast<uintptr_t>(16 * (n + 1)));
}

// The keys of the fake wires, as the wires themselves would say.
std::set<std::pair<const SDR_DATA_SIGNAL_WIRE*, std::string>> g_keys;

bool fake_match(const SDR_DATA_SIGNAL_WIRE* wire, const char* key, size_t length) {
  return g_keys.count(std::make_pair(wire, std::string(key, length))) > 0;
}

TEST(WireIndex, BehavesAsAMapUnderRandomEntriesAndRemovals) {
  std::mt19937 rng(12345);
  std::vector<std::string> keys;
  for (int i = 0; i < 3000; ++i) {
    // Short and long keys.
    std::string k = "bus_" + std::to_string(i % 97) + "[" + std::to_string(i) + "]";
    if (i % 5 == 0) k += std::string(40, 'x');
    keys.push_back(k);
  }
  g_keys.clear();
  SDR_WIRE_INDEX index(fake_match);
  std::unordered_map<std::string, SDR_DATA_SIGNAL_WIRE*> model;
  for (int step = 0; step < 60000; ++step) {
    size_t k = rng() % keys.size();
    const std::string& key = keys[k];
    switch (rng() % 4) {
      case 0:
      case 1: {
        SDR_DATA_SIGNAL_WIRE* wire = fake_wire(rng() % 5000);
        auto entered = model.emplace(key, wire);
        if (entered.second) g_keys.emplace(wire, key);
        SDR_DATA_SIGNAL_WIRE* expected = entered.first->second;
        ASSERT_EQ(index.emplace(key.c_str(), wire), expected) << key;
        break;
      }
      case 2: {
        // Removal is refused for a key that leads to another wire.
        auto it = model.find(key);
        SDR_DATA_SIGNAL_WIRE* wire = it != model.end() && rng() % 4 ? it->second : fake_wire(9999);
        index.erase(key.c_str(), wire);
        if (it != model.end() && it->second == wire) {
          model.erase(it);
          g_keys.erase(std::make_pair(wire, key));
        }
        break;
      }
      default: {
        auto it = model.find(key);
        ASSERT_EQ(index.find(key.c_str()), it == model.end() ? nullptr : it->second) << key;
      }
    }
    ASSERT_EQ(index.size(), model.size());
  }
  for (const std::string& key : keys) {
    auto it = model.find(key);
    EXPECT_EQ(index.find(key.c_str()), it == model.end() ? nullptr : it->second) << key;
  }
}

TEST(WireIndex, EmptyAndNullKeys) {
  g_keys = {{fake_wire(1), ""}};
  SDR_WIRE_INDEX index(fake_match);
  EXPECT_EQ(index.find("a"), nullptr);
  index.erase("a", fake_wire(1));
  EXPECT_EQ(index.emplace(nullptr, fake_wire(1)), nullptr);
  EXPECT_EQ(index.find(nullptr), nullptr);
  EXPECT_EQ(index.emplace("", fake_wire(1)), fake_wire(1));
  EXPECT_EQ(index.find(""), fake_wire(1));
  EXPECT_EQ(index.find("a"), nullptr);
  index.clear();
  EXPECT_EQ(index.find(""), nullptr);
  EXPECT_EQ(index.size(), 0u);
}

}  // namespace
