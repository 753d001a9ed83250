#ifndef SDR_WIRE_INDEX_H
#define SDR_WIRE_INDEX_H

// The wires of a signal set by name and by alias: an open-addressing hash
// table with linear probing. Every slot keeps the key's full hash and a
// copy of the key (short keys stay inside the slot), so a lookup reads one
// or two neighbouring slots and no other memory: on designs with thousands
// of wires a node-based map costs three cache misses per lookup, and the
// condition texts of every trigger level look up one wire per term.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class SDR_DATA_SIGNAL_WIRE;

class SDR_WIRE_INDEX {
 public:
  SDR_WIRE_INDEX() = default;

  // Enters key for wire unless key is already there. Returns the wire the
  // key leads to afterwards (the earlier one when it was there).
  SDR_DATA_SIGNAL_WIRE* emplace(const char* key, SDR_DATA_SIGNAL_WIRE* wire);
  // The wire of key, or null.
  SDR_DATA_SIGNAL_WIRE* find(const char* key) const;
  // Removes key when it leads to wire.
  void erase(const char* key, const SDR_DATA_SIGNAL_WIRE* wire);
  void clear();
  size_t size() const { return m_size; }

 private:
  struct SLOT {
    uint64_t hash = 0;
    SDR_DATA_SIGNAL_WIRE* wire = nullptr;  // null: empty
    std::string key;
  };

  static uint64_t hash_of(const char* key, size_t length);
  // The slot holding key, or the empty slot where it would go.
  size_t probe(const char* key, size_t length, uint64_t hash) const;
  void grow();

  std::vector<SLOT> m_slots;  // a power of two in size, or empty
  size_t m_size = 0;
};

#endif
