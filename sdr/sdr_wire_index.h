#ifndef SDR_WIRE_INDEX_H
#define SDR_WIRE_INDEX_H

// The wires of a signal set by name and by alias: an open-addressing hash
// table with linear probing. A slot is the key's full hash and the wire,
// sixteen bytes: the keys stay with the wires, which say whether a key is
// theirs. Lookups land on random slots, so the table is kept small: on a
// design of thousands of wires it stays in the caches a lookup by name
// would otherwise miss, and the wire a lookup finds is the one the caller
// reads next anyway.

#include <cstddef>
#include <cstdint>
#include <vector>

class SDR_DATA_SIGNAL_WIRE;

class SDR_WIRE_INDEX {
 public:
  // True when key (length bytes) is one of the wire's keys. A wire's keys
  // must not change while they are entered.
  using KEY_MATCH = bool (*)(const SDR_DATA_SIGNAL_WIRE* wire, const char* key, size_t length);

  explicit SDR_WIRE_INDEX(KEY_MATCH match) : m_match(match) { touch(); }

  // A count of the changes that may change what a wire's name or alias
  // leads to, across every index and wire of the process: entries made or
  // removed, a wire's alias or trigger index changed. What was resolved
  // through an index at one epoch is still right while the epoch is the same.
  static unsigned long epoch();
  static void touch();

  // Enters key for wire unless key is already there. Returns the wire the
  // key leads to afterwards (the earlier one when it was there).
  SDR_DATA_SIGNAL_WIRE* emplace(const char* key, SDR_DATA_SIGNAL_WIRE* wire);
  // The wire of key, or null.
  SDR_DATA_SIGNAL_WIRE* find(const char* key) const;
  // Removes key when it leads to wire.
  void erase(const char* key, const SDR_DATA_SIGNAL_WIRE* wire);
  void clear();
  size_t size() const { return m_size; }
  // Makes room for count keys at once.
  void reserve(size_t count);

 private:
  struct SLOT {
    uint64_t hash = 0;
    SDR_DATA_SIGNAL_WIRE* wire = nullptr;  // null: empty
  };

  static uint64_t hash_of(const char* key, size_t length);
  // The slot holding key, or the empty slot where it would go.
  size_t probe(const char* key, size_t length, uint64_t hash) const;
  void rehash(size_t slots);

  KEY_MATCH m_match;
  std::vector<SLOT> m_slots;  // a power of two in size, or empty
  size_t m_size = 0;
};

#endif
