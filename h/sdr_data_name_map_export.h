#ifndef SDR_DATA_NAME_MAP_EXPORT_H
#define SDR_DATA_NAME_MAP_EXPORT_H

// The unique-name index of one parent's children (instances of a session,
// signal sets of an instance, triggers of a signal set, logs of a trigger).
// Names are compared exactly; the map does not own the objects. T needs a
// get_name() that returns const char* (null when the object has no name).

#include <string>
#include <unordered_map>

template <class T>
class SDR_DATA_NAME_MAP {
public:
  SDR_DATA_NAME_MAP() { m_map.reserve(61); }

  // False when the object has no name or its name is already present.
  bool insert(T* object) {
    const char* name = object ? object->get_name() : nullptr;
    if (!name) return false;
    return m_map.emplace(name, object).second;
  }

  // Removes the entry under the object's current name, if it is this object.
  void remove(T* object) {
    const char* name = object ? object->get_name() : nullptr;
    if (!name) return;
    auto it = m_map.find(name);
    if (it != m_map.end() && it->second == object) m_map.erase(it);
  }

  T* find(const char* name) const {
    if (!name) return nullptr;
    auto it = m_map.find(name);
    return it == m_map.end() ? nullptr : it->second;
  }

  size_t size() const { return m_map.size(); }
  void clear() { m_map.clear(); }

private:
  std::unordered_map<std::string, T*> m_map;
};

#endif
