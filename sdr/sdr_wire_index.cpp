#include "sdr_wire_index.h"

#include <atomic>
#include <cstring>

namespace {
std::atomic<unsigned long> g_epoch{1};
}  // namespace

unsigned long SDR_WIRE_INDEX::epoch() {
  return g_epoch.load(std::memory_order_relaxed);
}

void SDR_WIRE_INDEX::touch() {
  g_epoch.fetch_add(1, std::memory_order_relaxed);
}

uint64_t SDR_WIRE_INDEX::hash_of(const char* key, size_t length) {
  // FNV-1a, then a final mix so that the low bits used for the slot depend
  // on every byte.
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < length; ++i) {
    h ^= static_cast<unsigned char>(key[i]);
    h *= 0x100000001b3ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

size_t SDR_WIRE_INDEX::probe(const char* key, size_t length, uint64_t hash) const {
  const size_t mask = m_slots.size() - 1;
  for (size_t i = static_cast<size_t>(hash) & mask;; i = (i + 1) & mask) {
    const SLOT& s = m_slots[i];
    if (!s.wire) return i;
    if (s.hash == hash && m_match(s.wire, key, length)) return i;
  }
}

void SDR_WIRE_INDEX::rehash(size_t slots) {
  std::vector<SLOT> old;
  old.swap(m_slots);
  m_slots.resize(slots);
  const size_t mask = m_slots.size() - 1;
  for (const SLOT& s : old) {
    if (!s.wire) continue;
    size_t i = static_cast<size_t>(s.hash) & mask;
    while (m_slots[i].wire) i = (i + 1) & mask;
    m_slots[i] = s;
  }
}

void SDR_WIRE_INDEX::reserve(size_t count) {
  // At most five slots in eight are used.
  size_t slots = m_slots.empty() ? 64 : m_slots.size();
  while (count * 8 > slots * 5) slots *= 2;
  if (slots > m_slots.size()) rehash(slots);
}

SDR_DATA_SIGNAL_WIRE* SDR_WIRE_INDEX::emplace(const char* key, SDR_DATA_SIGNAL_WIRE* wire) {
  if (!key || !wire) return nullptr;
  reserve(m_size + 1);
  size_t length = std::strlen(key);
  uint64_t hash = hash_of(key, length);
  SLOT& s = m_slots[probe(key, length, hash)];
  if (s.wire) return s.wire;
  touch();
  s.hash = hash;
  s.wire = wire;
  ++m_size;
  return wire;
}

SDR_DATA_SIGNAL_WIRE* SDR_WIRE_INDEX::find(const char* key) const {
  if (!key || m_slots.empty()) return nullptr;
  size_t length = std::strlen(key);
  return m_slots[probe(key, length, hash_of(key, length))].wire;
}

void SDR_WIRE_INDEX::erase(const char* key, const SDR_DATA_SIGNAL_WIRE* wire) {
  if (!key || m_slots.empty()) return;
  size_t length = std::strlen(key);
  size_t hole = probe(key, length, hash_of(key, length));
  if (!m_slots[hole].wire || m_slots[hole].wire != wire) return;
  touch();
  // Backward-shift deletion: later entries of the same run move into the
  // hole when their home slot is not between the hole and them.
  const size_t mask = m_slots.size() - 1;
  for (size_t i = (hole + 1) & mask; m_slots[i].wire; i = (i + 1) & mask) {
    size_t home = static_cast<size_t>(m_slots[i].hash) & mask;
    bool stays = hole <= i ? (hole < home && home <= i) : (hole < home || home <= i);
    if (stays) continue;
    m_slots[hole] = m_slots[i];
    hole = i;
  }
  m_slots[hole] = SLOT();
  --m_size;
}

void SDR_WIRE_INDEX::clear() {
  touch();
  m_slots.clear();
  m_size = 0;
}
