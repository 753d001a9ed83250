#ifndef SDR_DATA_NAME_MAP_EXPORT_H
#define SDR_DATA_NAME_MAP_EXPORT_H

// The unique-name index of one parent's children (instances of a session,
// signal sets of an instance, triggers of a signal set, logs of a trigger).
// Names are compared exactly; the map does not own the objects. T needs a
// get_name() that returns const char* (null when the object has no name).

#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

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

// The named children of one parent, owned by it: a list in order with a
// unique-name index, and at most one global temporary child kept outside
// both. Destroying the list destroys every child.
template <class T>
class SDR_DATA_CHILD_LIST {
 public:
  SDR_DATA_CHILD_LIST() = default;
  SDR_DATA_CHILD_LIST(const SDR_DATA_CHILD_LIST&) = delete;
  SDR_DATA_CHILD_LIST& operator=(const SDR_DATA_CHILD_LIST&) = delete;
  ~SDR_DATA_CHILD_LIST() { clear(); }

  // Enters the child under its name and appends it; false (nothing
  // changed) when it has no name or the name is taken.
  bool append(T* child) {
    if (!m_names.insert(child)) return false;
    m_items.push_back(child);
    return true;
  }
  // Takes the first entry of the list equal to child out; the name index
  // is the caller's business.
  void remove_from_list(T* child) {
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
      if (*it == child) {
        m_items.erase(it);
        return;
      }
    }
  }
  // Takes child out of the list, the name index and the global slot,
  // whichever hold it; the caller owns it then. False when none held it.
  bool take(T* child) {
    bool held = false;
    if (child && m_global == child) {
      m_global = nullptr;
      held = true;
    }
    if (child && m_names.find(child->get_name()) == child) {
      m_names.remove(child);
      held = true;
    }
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
      if (*it == child) {
        m_items.erase(it);
        held = true;
        break;
      }
    }
    return held;
  }
  bool insert_name(T* child) { return m_names.insert(child); }
  void remove_name(T* child) { m_names.remove(child); }

  int size() const { return static_cast<int>(m_items.size()); }
  T* at(int index) const {
    return index >= 0 && static_cast<size_t>(index) < m_items.size() ? m_items[static_cast<size_t>(index)]
                                                                     : nullptr;
  }
  T* back() const { return m_items.empty() ? nullptr : m_items.back(); }
  // The listed child of that name, else the global child of that name.
  T* find(const char* name) const {
    if (!name) return nullptr;
    if (T* child = m_names.find(name)) return child;
    if (m_global && m_global->get_name() && std::strcmp(m_global->get_name(), name) == 0) return m_global;
    return nullptr;
  }

  T* get_global() const { return m_global; }
  // Only the pointer: a replaced global child is removed by its owner first.
  void set_global(T* child) { m_global = child; }
  // A global child read from a document replaces an earlier one.
  void replace_global(T* child) {
    delete m_global;
    m_global = child;
  }

  void clear() {
    T* global = m_global;
    m_global = nullptr;
    delete global;
    std::vector<T*> items;
    items.swap(m_items);
    m_names.clear();
    for (T* child : items) delete child;
  }

 private:
  std::vector<T*> m_items;
  SDR_DATA_NAME_MAP<T> m_names;
  T* m_global = nullptr;
};

#endif
