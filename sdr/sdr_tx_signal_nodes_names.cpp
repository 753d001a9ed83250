// The node lists' name tables: how many rows carry each name, and the
// setup tab's set of unique names. Both are flat open-addressing tables
// with no allocation per name.

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "sdr_tx_signal_nodes.h"

namespace {

uint32_t hash_of(std::string_view name) {
  const uint64_t hash = std::hash<std::string_view>()(name);
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

// Slots whose hash is kept: a slot's home is its hash's low bits. Removes
// the entry at index from its run of slots: the entries after it move back
// where a lookup still finds them, so that no slot needs a mark of its own.
template <class SLOT, class USED>
void close_gap(std::vector<SLOT>* slots, size_t index, USED used) {
  const size_t mask = slots->size() - 1;
  size_t hole = index;
  for (size_t j = (index + 1) & mask; used((*slots)[j]); j = (j + 1) & mask) {
    const size_t home = (*slots)[j].hash & mask;
    if (((j - home) & mask) >= ((j - hole) & mask)) {
      (*slots)[hole] = (*slots)[j];
      hole = j;
    }
  }
  (*slots)[hole] = SLOT();
}

template <class SLOT, class USED>
void rehash_slots(std::vector<SLOT>* slots, size_t size, USED used) {
  std::vector<SLOT> old(size);
  old.swap(*slots);
  const size_t mask = size - 1;
  for (const SLOT& slot : old) {
    if (!used(slot)) continue;
    size_t i = slot.hash & mask;
    while (used((*slots)[i])) i = (i + 1) & mask;
    (*slots)[i] = slot;
  }
}

}  // namespace

SDR_TX_NAME_COUNTS::~SDR_TX_NAME_COUNTS() {
  clear();
}

size_t SDR_TX_NAME_COUNTS::find(std::string_view name, const std::string* key, uint32_t hash) const {
  if (m_size == 0) return m_slots.size();
  const size_t mask = m_slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const SLOT& slot = m_slots[i];
    if (!slot.count) return m_slots.size();
    if (slot.key == key || (slot.hash == hash && *slot.key == name)) return i;
  }
}

int SDR_TX_NAME_COUNTS::count(std::string_view name) const {
  if (m_size == 0) return 0;
  const size_t i = find(name, nullptr, hash_of(name));
  return i < m_slots.size() ? static_cast<int>(m_slots[i].count) : 0;
}

void SDR_TX_NAME_COUNTS::add(const std::string* name) {
  const uint32_t hash = hash_of(*name);
  const size_t i = find(*name, name, hash);
  if (i < m_slots.size()) {
    SLOT& slot = m_slots[i];
    // Rows of one name come and go in any order: the name is kept here.
    if (!slot.owned) {
      slot.key = new std::string(*slot.key);
      slot.owned = 1;
    }
    ++slot.count;
    return;
  }
  if (2 * (m_size + 1) > m_slots.size())
    rehash_slots(&m_slots, m_slots.empty() ? 16 : 2 * m_slots.size(),
                 [](const SLOT& s) { return s.count != 0; });
  const size_t mask = m_slots.size() - 1;
  size_t j = hash & mask;
  while (m_slots[j].count) j = (j + 1) & mask;
  SLOT& slot = m_slots[j];
  slot.key = name;
  slot.hash = hash;
  slot.count = 1;
  slot.owned = 0;
  ++m_size;
}

void SDR_TX_NAME_COUNTS::remove(const std::string* name) {
  if (m_size == 0) return;
  const size_t i = find(*name, name, hash_of(*name));
  if (i >= m_slots.size()) return;
  if (--m_slots[i].count == 0) erase_at(i);
}

void SDR_TX_NAME_COUNTS::erase_at(size_t index) {
  if (m_slots[index].owned) delete m_slots[index].key;
  close_gap(&m_slots, index, [](const SLOT& s) { return s.count != 0; });
  --m_size;
}

void SDR_TX_NAME_COUNTS::clear() {
  if (m_size == 0) return;
  for (SLOT& slot : m_slots) {
    if (slot.count && slot.owned) delete slot.key;
    slot = SLOT();
  }
  m_size = 0;
}

// A name is kept in the block as its length (eight bytes) and its bytes.
std::string_view SDR_TX_NAME_SET::name_at(const SLOT& slot) const {
  uint64_t length;
  std::memcpy(&length, m_text.data() + slot.offset, sizeof length);
  return std::string_view(m_text.data() + slot.offset + sizeof length, static_cast<size_t>(length));
}

size_t SDR_TX_NAME_SET::find(std::string_view name, uint32_t hash) const {
  if (m_size == 0) return m_slots.size();
  const size_t mask = m_slots.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const SLOT& slot = m_slots[i];
    if (!slot.used) return m_slots.size();
    if (slot.hash == hash && name_at(slot) == name) return i;
  }
}

int SDR_TX_NAME_SET::count(std::string_view name) const {
  if (m_size == 0) return 0;
  return find(name, hash_of(name)) < m_slots.size() ? 1 : 0;
}

bool SDR_TX_NAME_SET::insert(std::string_view name) {
  const uint32_t hash = hash_of(name);
  if (find(name, hash) < m_slots.size()) return false;
  if (2 * (m_size + 1) > m_slots.size())
    rehash_slots(&m_slots, m_slots.empty() ? 16 : 2 * m_slots.size(),
                 [](const SLOT& s) { return s.used != 0; });
  SLOT slot;
  slot.offset = m_text.size();
  slot.hash = hash;
  slot.used = 1;
  const uint64_t length = name.size();
  m_text.append(reinterpret_cast<const char*>(&length), sizeof length);
  m_text.append(name.data(), name.size());
  const size_t mask = m_slots.size() - 1;
  size_t i = hash & mask;
  while (m_slots[i].used) i = (i + 1) & mask;
  m_slots[i] = slot;
  ++m_size;
  return true;
}

void SDR_TX_NAME_SET::erase(std::string_view name) {
  if (m_size == 0) return;
  const size_t i = find(name, hash_of(name));
  if (i < m_slots.size()) erase_at(i);
}

void SDR_TX_NAME_SET::erase_at(size_t index) {
  m_garbage += sizeof(uint64_t) + name_at(m_slots[index]).size();
  close_gap(&m_slots, index, [](const SLOT& s) { return s.used != 0; });
  if (--m_size == 0) {
    m_text.clear();
    m_garbage = 0;
  } else if (m_garbage > 4096 && m_garbage > m_text.size() / 2) {
    compact();
  }
}

void SDR_TX_NAME_SET::compact() {
  std::string text;
  text.reserve(m_text.size() - m_garbage);
  for (SLOT& slot : m_slots) {
    if (!slot.used) continue;
    const size_t length = sizeof(uint64_t) + name_at(slot).size();
    const uint64_t offset = text.size();
    text.append(m_text, static_cast<size_t>(slot.offset), length);
    slot.offset = offset;
  }
  m_text.swap(text);
  m_garbage = 0;
}

void SDR_TX_NAME_SET::clear() {
  if (m_size) std::fill(m_slots.begin(), m_slots.end(), SLOT());
  m_size = 0;
  m_text.clear();
  m_garbage = 0;
}

void SDR_TX_NAME_SET::reserve(size_t n) {
  size_t slots = 16;
  while (slots < 2 * n) slots *= 2;
  if (slots > m_slots.size()) rehash_slots(&m_slots, slots, [](const SLOT& s) { return s.used != 0; });
}
