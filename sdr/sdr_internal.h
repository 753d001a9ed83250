#ifndef SDR_INTERNAL_H
#define SDR_INTERNAL_H

// Helpers shared by the library's source units; not installed.

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "msg_service.h"
#include "sdr_data_name_map_export.h"
#include "sdr_export.h"
#include "sdr_msgs.h"

// Reports a broken internal rule with the failed expression, the module tag
// "SDR", the source file's base name and the line; evaluates to the
// condition so that callers can take their way out.
#define SDR_CHECK(cond) ((cond) ? true : (sdr_report_internal_error(#cond, __FILE__, __LINE__), false))

// The same with the reported text given separately, for conditions whose
// text names state the code keeps differently.
#define SDR_CHECK_AS(cond, text) \
  ((cond) ? true : (sdr_report_internal_error(text, __FILE__, __LINE__), false))

SDR_API void sdr_report_internal_error(const char* expression, const char* file, int line);

// No exception crosses the library's interface. An entry point that calls
// into the XML library (or may run out of memory) runs its body through
// SDR_GUARDED: an exception is reported as an internal error naming what
// was thrown and where, and the fallback is returned instead.
#define SDR_GUARDED(fallback, body) sdr_guarded(__FILE__, __LINE__, fallback, body)

// Reports the exception being handled; call only inside a catch block.
SDR_API void sdr_report_current_exception(const char* file, int line);

template <class R, class BODY>
R sdr_guarded(const char* file, int line, R fallback, BODY&& body) noexcept {
  try {
    return body();
  } catch (...) {
    sdr_report_current_exception(file, line);
    return fallback;
  }
}

// 8-bit texts are UTF-8 (plain ASCII in practice); the DOM's are UTF-16.
// SDR_XSTR converts one 8-bit text for a DOM call.
class SDR_API SDR_XSTR {
 public:
  explicit SDR_XSTR(const char* text);
  explicit SDR_XSTR(const std::string& text) : SDR_XSTR(text.c_str()) {}
  const XMLCh* x() const { return m_text.c_str(); }
  operator const XMLCh*() const { return m_text.c_str(); }

 private:
  std::u16string m_text;
};

// Appends the UTF-16 form of the n bytes at text, as SDR_XSTR converts them.
SDR_API void sdr_append_utf16(const char* text, size_t n, std::u16string* out);

// Appends the UTF-8 form of a DOM text (null gives nothing).
SDR_API void sdr_append_utf8(const XMLCh* text, std::string* out);
SDR_API std::string sdr_to_utf8(const XMLCh* text);

// Attribute access with the shared conventions: an absent attribute and an
// empty one both read as empty.
SDR_API std::string sdr_get_attribute(const xercesc::DOMElement* element, const char* name);
SDR_API bool sdr_has_attribute(const xercesc::DOMElement* element, const char* name);
SDR_API void sdr_set_attribute(xercesc::DOMElement* element, const char* name, const char* value);
SDR_API void sdr_set_attribute(xercesc::DOMElement* element, const char* name, int value);
SDR_API void sdr_remove_attribute(xercesc::DOMElement* element, const char* name);

// The edit counter of a session's document, kept by the session and
// bumped by edits that caches of the document depend on (the bus rows of
// the views: their names, their members and the members' names); null for
// a document that no session holds. Every edit of rows, through the view
// classes or on their elements directly, counts on it: sdr_count_edit.
SDR_API unsigned long* sdr_edit_counter(const xercesc::DOMDocument* document);
SDR_API void sdr_set_edit_counter(xercesc::DOMDocument* document, unsigned long* counter);
// Counts an edit on the counter of node's document, when it has one.
SDR_API void sdr_count_edit(const xercesc::DOMNode* node);

// True when text and word are equal, ASCII letters compared without case.
SDR_API bool equals_ignore_case(const std::string& text, const char* word);

// Sets a flag for the life of the guard and puts back its old value.
class SDR_FLAG_GUARD {
 public:
  explicit SDR_FLAG_GUARD(bool* flag, bool value = true) : m_flag(flag), m_old(*flag) { *flag = value; }
  ~SDR_FLAG_GUARD() { *m_flag = m_old; }
  SDR_FLAG_GUARD(const SDR_FLAG_GUARD&) = delete;
  SDR_FLAG_GUARD& operator=(const SDR_FLAG_GUARD&) = delete;

 private:
  bool* m_flag;
  bool m_old;
};

// Holds the process-wide writer lock for the life of the guard (when lock
// is true).
class SDR_API SDR_WRITER_LOCK {
 public:
  explicit SDR_WRITER_LOCK(bool lock = true);
  ~SDR_WRITER_LOCK();
  SDR_WRITER_LOCK(const SDR_WRITER_LOCK&) = delete;
  SDR_WRITER_LOCK& operator=(const SDR_WRITER_LOCK&) = delete;

 private:
  bool m_lock;
};

// Decimal conversion as the runtime does it: leading blanks, an optional
// sign, leading digits; no digits reads as 0; the value saturates at the
// int range instead of overflowing.
SDR_API int sdr_atoi(const char* text);

// The numbers of a "multi" value text with the given "size": piece i is the
// text up to the next ","; the last index, or a piece with no comma after
// it, takes the rest. Missing entries read as 0. A size below 1 gives none.
SDR_API std::vector<int> sdr_parse_multi_value(const std::string& value, int size);
// The numbers joined by "," ("%d," for each but the last).
SDR_API std::string sdr_join_ints(const std::vector<int>& values);

// A new child its owner could not list (its name is taken or missing) is
// reported with WSDR_DUPLICATE_NAME and destroyed; null then, else child.
template <class T>
T* sdr_listed_or_dropped(T* child, bool listed) {
  if (listed) return child;
  SDR_MSGS::post(SDR_MSGS::wsdr_duplicate_name(child->get_name() ? child->get_name() : ""));
  delete child;
  return nullptr;
}

// A child read from a document: a global temporary one replaces the earlier
// global child, any other is listed through append (its element stays
// where it is) or dropped with a warning.
template <class T, class APPEND>
void sdr_adopt_read_child(SDR_DATA_CHILD_LIST<T>& list, T* child, APPEND append) {
  if (child->is_global_temp())
    list.replace_global(child);
  else
    sdr_listed_or_dropped(child, append(child));
}

// A new global temporary child: the old one removes itself (which clears
// the list's global pointer), the new one's element joins the owner's.
template <class T>
void sdr_make_global(SDR_DATA_CHILD_LIST<T>& list, xercesc::DOMElement* owner_element, T* child) {
  if (T* old = list.get_global()) old->remove();
  list.set_global(child);
  owner_element->appendChild(child->get_dom_node());
  child->set_global_temp();
}

// Renames a child its owner lists by name (owner null: not listed). The
// owner's map must take the new name, else the old one is kept and false
// returned; the element's "name" attribute follows the new name.
template <class OWNER, class T>
bool sdr_rename_listed(OWNER* owner, T* child, std::unique_ptr<std::string>* slot, const char* name,
                       xercesc::DOMElement* element) {
  std::string old = **slot;
  if (owner) owner->delete_from_name_map(child);
  slot->reset(new std::string(name));
  if (owner && !owner->insert_into_name_map(child)) {
    slot->reset(new std::string(old));
    bool ret = owner->insert_into_name_map(child);
    SDR_CHECK(ret);
    return false;
  }
  if (element) sdr_set_attribute(element, "name", name);
  return true;
}

// Named ints and int lists kept in a table element of "single" children
// ("attribute", "value") and "multi" children ("attribute", "size",
// "value"): the session's global values and an instance's position data.
class SDR_API SDR_NAMED_VALUES {
 public:
  std::map<std::string, int> singles;
  std::map<std::string, std::vector<int>> multis;

  // Store the value; unless table_only, the first child of that name gets
  // its value rewritten, or a new child is appended to table.
  bool set_single(xercesc::DOMElement* table, const char* name, int value, bool table_only);
  bool set_multi(xercesc::DOMElement* table, const char* name, const int* values, int count, bool table_only);
  int get_single(const char* name) const;
  // Copies the list into out (when given) and returns its count, or -1.
  int get_multi(const char* name, int* out) const;
  // Stores every complete child of table (table_only).
  void read(const xercesc::DOMElement* table);
  // Removes table (when given) from owner and appends a new element named
  // tag, holding the singles then the lists in name order; returns it.
  xercesc::DOMElement* rebuild(xercesc::DOMElement* owner, xercesc::DOMElement* table, const char* tag);

 private:
  // The child of table for the entry, made when there is none.
  xercesc::DOMElement* entry_element(xercesc::DOMElement* table, int kind, const char* name);
  void note_entry(xercesc::DOMElement* table, int kind, const std::string& name, xercesc::DOMElement* e);

  // The children of m_table by kind (0 "single", 1 "multi") and name, so
  // that a value is found without a walk. An element found here is checked
  // before use; a name not found is looked for in the table unless its last
  // child is still the last element seen.
  std::map<std::string, xercesc::DOMElement*> m_entries[2];
  const xercesc::DOMElement* m_table = nullptr;
  const xercesc::DOMNode* m_last = nullptr;
};

#endif
