#ifndef SDR_BASIC_H
#define SDR_BASIC_H

// Basic sessions: a schema-free view of an XML document whose root element
// holds instance elements. Each instance element is the root of a tree of
// SDR_BASIC_ELEMENT wrappers, one per XML element, with an undo buffer of
// snapshots per instance tree.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_BASIC_SESSION;
class SDR_BASIC_UNDO_BUFFER;
class SDR_XML_PARSE_CONTEXT;

enum SDR_BASIC_ERROR_CODE {
  SDR_BASIC_ERROR_CODE_OK = 0,
  SDR_BASIC_ERROR_CODE_READ_FAILED = 1,
  SDR_BASIC_ERROR_CODE_ALREADY_POPULATED = 2,
  SDR_BASIC_ERROR_CODE_NOT_FOUND = 3,
  SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT = 4
};

// One XML element. An element owns its child wrappers; destroying it
// destroys them, then releases its own XML element when that is no longer
// in a document tree (an attached element goes with its document).
class SDR_API SDR_BASIC_ELEMENT {
 public:
  // Wraps element; parent and parent_element are null for an instance root.
  SDR_BASIC_ELEMENT(SDR_BASIC_SESSION* session, xercesc::DOMElement* element,
                    xercesc::DOMElement* parent_element, SDR_BASIC_ELEMENT* parent,
                    SDR_BASIC_UNDO_BUFFER* undo_buffer);
  // A deep copy over clones of the XML elements, not attached anywhere:
  // each copied child's parent is its copied parent. Text and comments
  // between the elements are copied too. Session, undo buffer, parent and
  // parent element are the source's.
  SDR_BASIC_ELEMENT(const SDR_BASIC_ELEMENT& other);
  SDR_BASIC_ELEMENT& operator=(const SDR_BASIC_ELEMENT&) = delete;
  virtual ~SDR_BASIC_ELEMENT();

  // The tag name; 4 for a null out.
  SDR_BASIC_ERROR_CODE get_name(std::string* out) const;
  // 4 for a null argument; 3 (out set empty) for an absent or empty
  // attribute; else 0.
  SDR_BASIC_ERROR_CODE get_attribute(const char* name, std::string* out) const;
  // 4 for a null argument or a name XML does not allow.
  SDR_BASIC_ERROR_CODE set_attribute(const char* name, const char* value);
  // 3 when get_attribute would give nothing.
  SDR_BASIC_ERROR_CODE remove_attribute(const char* name);
  // The node value of the element node itself, which XML keeps empty for
  // elements; text content is not touched.
  SDR_BASIC_ERROR_CODE get_element_data(std::string* out) const;
  SDR_BASIC_ERROR_CODE set_element_data(const char* value);

  // The child wrapper at index (internal error beyond the children).
  SDR_BASIC_ELEMENT* get_child_element(int index) const;
  // The index-th descendant element (document order) with that tag name
  // (null tag: any) when it is a direct child, else null. Index 0 of an
  // empty list gives null; a larger index beyond the list is an internal
  // error. The matches are found by one walk of the subtree, kept until
  // the element structure changes through these classes: asking for every
  // index costs one walk. Elements added to the DOM directly are seen after
  // the next such change.
  SDR_BASIC_ELEMENT* get_child_element(const char* tag, int index) const;
  SDR_BASIC_ELEMENT* get_parent_element() const { return m_parent; }
  // Null tag: the number of children. Else the number of descendant
  // elements with that tag name.
  int get_number_of_child_elements(const char* tag) const;

  // A new element with that tag as the last child; null for a tag XML
  // does not allow.
  SDR_BASIC_ELEMENT* append_child_element(const char* tag);
  // A new element inserted before the descendant at position (document
  // order over all descendant elements), which must be a direct child.
  SDR_BASIC_ELEMENT* insert_child_element(const char* tag, int position);
  // Takes child's element out of this element and child out of the
  // children. The wrapper is then the caller's to destroy (which releases
  // its detached element).
  SDR_BASIC_ERROR_CODE remove_child_element(SDR_BASIC_ELEMENT* child);
  // Wraps every child element, recursively, for a free-standing root (no
  // parent); 2 otherwise.
  SDR_BASIC_ERROR_CODE populate_element_tree(SDR_BASIC_UNDO_BUFFER* undo_buffer);

  int get_num_children() const { return static_cast<int>(m_children.size()); }
  SDR_BASIC_SESSION* get_session() const { return m_session; }
  SDR_BASIC_UNDO_BUFFER* get_undo_buffer() const { return m_undo_buffer; }
  xercesc::DOMElement* get_dom_node() const { return m_dom_element; }
  xercesc::DOMElement* get_parent_dom_node() const { return m_parent_dom_element; }

 private:
  friend class SDR_BASIC_UNDO_BUFFER;
  friend class SDR_BASIC_SESSION;
  struct WALK_CACHE;

  // Notes a change of the element structure below this session.
  void structure_changed() const;
  // The descendants with that tag (null: all) in document order, each with
  // the index of the child at or above it. One walk, kept until the
  // element structure under the session changes.
  const std::vector<std::pair<xercesc::DOMElement*, int>>& descendants(const char* tag) const;
  // The index-th of them, or null.
  xercesc::DOMElement* find_descendant(const char* tag, int index, int* child_index) const;

  SDR_BASIC_SESSION* m_session = nullptr;
  xercesc::DOMElement* m_dom_element = nullptr;
  xercesc::DOMElement* m_parent_dom_element = nullptr;
  SDR_BASIC_ELEMENT* m_parent = nullptr;
  std::vector<SDR_BASIC_ELEMENT*> m_children;
  SDR_BASIC_UNDO_BUFFER* m_undo_buffer = nullptr;
  mutable std::unique_ptr<WALK_CACHE> m_walk;
};

// One snapshot: a full copy of the instance tree, or the attribute values
// that changed since the snapshot before it, addressed by the pre-order
// number of the element (the root is 0).
class SDR_API SDR_BASIC_UNDO_ELEMENT {
 public:
  struct MODIFIER {
    int number = 0;
    std::string name;
    std::string value;
    // The attribute was removed (value unused).
    bool removed = false;
  };

  SDR_BASIC_UNDO_ELEMENT();
  virtual ~SDR_BASIC_UNDO_ELEMENT();
  SDR_BASIC_UNDO_ELEMENT(const SDR_BASIC_UNDO_ELEMENT&) = delete;
  SDR_BASIC_UNDO_ELEMENT& operator=(const SDR_BASIC_UNDO_ELEMENT&) = delete;

  bool is_full_replace() const { return m_full_replace; }
  const SDR_BASIC_ELEMENT* get_full_copy() const { return m_full_copy.get(); }
  int get_num_modifiers() const { return static_cast<int>(m_modifiers.size()); }
  const MODIFIER* get_modifier_at(int index) const;

 private:
  friend class SDR_BASIC_UNDO_BUFFER;
  std::unique_ptr<SDR_BASIC_ELEMENT> m_full_copy;
  bool m_full_replace = false;
  std::vector<MODIFIER> m_modifiers;
};

// The snapshots of one instance tree. Take a snapshot (save_snapshot)
// before each change; undo and redo then put a rebuilt copy of an earlier
// or later state in place of the live tree. The live root and every
// element below it are destroyed by an undo or redo: wrappers of the
// instance must be fetched again afterwards (get_root).
class SDR_API SDR_BASIC_UNDO_BUFFER {
 public:
  SDR_BASIC_UNDO_BUFFER();
  virtual ~SDR_BASIC_UNDO_BUFFER();
  SDR_BASIC_UNDO_BUFFER(const SDR_BASIC_UNDO_BUFFER&) = delete;
  SDR_BASIC_UNDO_BUFFER& operator=(const SDR_BASIC_UNDO_BUFFER&) = delete;

  // Makes element the live root (null leaves it). Returns false.
  bool set_root(SDR_BASIC_ELEMENT* element);
  SDR_BASIC_ELEMENT* get_root() const { return m_root; }
  // Drops the redo states; if there were none, records the live state.
  bool save_snapshot();
  // Drops the states after the current one; true when any was dropped.
  bool clear_redo();
  bool undo();
  bool redo();
  bool is_undoable() const;
  bool is_redoable() const;
  void set_savepoint() { m_savepoint = m_current; }
  bool is_last_savepoint() const { return m_savepoint == m_current; }

  int get_num_snapshots() const { return static_cast<int>(m_undo_vec.size()); }
  const SDR_BASIC_UNDO_ELEMENT* get_snapshot_at(int index) const;
  unsigned get_current() const { return m_current; }

  // Same number of children, position by position, all the way down.
  static bool is_same_structure(const SDR_BASIC_ELEMENT* a, const SDR_BASIC_ELEMENT* b);

 private:
  SDR_BASIC_UNDO_ELEMENT* snap_differences();
  // Records in snapshot the attributes of new_root that old_root lacks or
  // holds with another value, and those old_root has and new_root lacks.
  static void record_differences(const SDR_BASIC_ELEMENT* old_root, const SDR_BASIC_ELEMENT* new_root,
                                 SDR_BASIC_UNDO_ELEMENT* snapshot);
  static void apply_differences(SDR_BASIC_ELEMENT* root, const SDR_BASIC_UNDO_ELEMENT* snapshot);
  // A new tree of the state at index, owned by the caller; null if none.
  SDR_BASIC_ELEMENT* get_copy_at(unsigned index) const;
  // Puts the state at index in place of the live root.
  bool restore(unsigned index);

  std::vector<std::unique_ptr<SDR_BASIC_UNDO_ELEMENT>> m_undo_vec;
  SDR_BASIC_ELEMENT* m_root = nullptr;
  std::unique_ptr<SDR_BASIC_ELEMENT> m_copy;
  unsigned m_current = 0;
  unsigned m_savepoint = 0;
  bool m_top_snapped = false;
};

class SDR_API SDR_BASIC_SESSION {
 public:
  // The session of file_name. Unless create_new is true, an existing file
  // is read (open); otherwise the document is new, with an empty root
  // element named root_name.
  SDR_BASIC_SESSION(const char* root_name, const char* file_name, bool create_new);
  virtual ~SDR_BASIC_SESSION();
  SDR_BASIC_SESSION(const SDR_BASIC_SESSION&) = delete;
  SDR_BASIC_SESSION& operator=(const SDR_BASIC_SESSION&) = delete;

  // Reads file_name in place of the document held so far: 1 when it does
  // not parse (ESDR_SOURCE_GENERIC posted) or, after
  // ESDR_SOURCE_INVALID_FORMAT, when it has no root element; else 0.
  SDR_BASIC_ERROR_CODE open(const char* file_name);
  SDR_BASIC_ERROR_CODE save();
  // Writes the document to file_name, crash-safe (the old file stays
  // intact unless the new one was written completely); 1 on failure. The
  // session's name is unchanged. Temp instances are never written.
  SDR_BASIC_ERROR_CODE save_as(const char* file_name);

  const char* get_name() const { return m_name.c_str(); }
  void increment_open_ref() { ++m_open_ref; }
  void decrement_open_ref() { --m_open_ref; }
  bool is_open_ref_zero() const { return m_open_ref == 0; }
  int get_open_ref() const { return m_open_ref; }

  // Attributes of the root element, as those of elements.
  SDR_BASIC_ERROR_CODE get_attribute(const char* name, std::string* out) const;
  SDR_BASIC_ERROR_CODE set_attribute(const char* name, const char* value);
  SDR_BASIC_ERROR_CODE remove_attribute(const char* name);

  // A new instance element with that tag as the root element's last
  // child, with its own undo buffer; null for a tag XML does not allow.
  SDR_BASIC_ELEMENT* append_instance(const char* tag);
  // The same, never part of the document (a scratch tree).
  SDR_BASIC_ELEMENT* append_temp_instance(const char* tag);
  // The occurrence-th root (from 0) with that tag, or null.
  SDR_BASIC_ELEMENT* find_instance(const char* tag, int occurrence) const;
  SDR_BASIC_ELEMENT* find_temp_instance(const char* tag, int occurrence) const;
  SDR_BASIC_ELEMENT* get_instance_at(int index) const;
  SDR_BASIC_ELEMENT* get_temp_instance_at(int index) const;
  int get_num_instance_elements() const { return static_cast<int>(m_instances.size()); }
  int get_num_temp_instance_elements() const { return static_cast<int>(m_temp_instances.size()); }
  // Removes the root, its element and its undo buffer; 4 when there is
  // none at index (or occurrence).
  SDR_BASIC_ERROR_CODE delete_instance_at(int index);
  SDR_BASIC_ERROR_CODE delete_temp_instance_at(int index);
  SDR_BASIC_ERROR_CODE delete_instance(const char* tag, int occurrence);
  SDR_BASIC_ERROR_CODE delete_temp_instance(const char* tag, int occurrence);
  int get_num_undo_buffers() const { return static_cast<int>(m_undo_buffers.size()); }

  xercesc::DOMDocument* get_document() const { return m_document; }
  xercesc::DOMElement* get_root_element() const { return m_root; }

 private:
  friend class SDR_BASIC_ELEMENT;
  friend class SDR_BASIC_UNDO_BUFFER;
  // Keeps the XML platform initialised while the session lives; declared
  // first so that it is released last.
  struct PLATFORM_REF {
    PLATFORM_REF();
    ~PLATFORM_REF();
  };
  PLATFORM_REF m_platform_ref;

  // Puts new_root in old_root's place, in the instances (or temp
  // instances) and in the document, and returns old_root, which is then
  // the caller's to destroy (the undo buffer does). Null, changing
  // nothing, when old_root is not a root here or new_root is null.
  SDR_BASIC_ELEMENT* replace_instance(SDR_BASIC_ELEMENT* old_root, SDR_BASIC_ELEMENT* new_root);
  SDR_BASIC_ELEMENT* add_root(const char* tag, bool temp);
  SDR_BASIC_ERROR_CODE delete_root_at(int index, bool temp);
  void drop_undo_buffer(SDR_BASIC_UNDO_BUFFER* buffer);
  void clear();
  void create_new_doc(const char* root_name);

  std::string m_name;
  int m_open_ref = 0;
  std::vector<SDR_BASIC_ELEMENT*> m_instances;
  std::vector<SDR_BASIC_ELEMENT*> m_temp_instances;
  std::vector<SDR_BASIC_UNDO_BUFFER*> m_undo_buffers;
  std::unique_ptr<SDR_XML_PARSE_CONTEXT> m_parser;
  xercesc::DOMDocument* m_document = nullptr;
  bool m_owns_document = false;
  xercesc::DOMElement* m_root = nullptr;
  // Bumped by every change of the element structure under this session;
  // the elements' walk caches are valid only while it stays.
  unsigned long m_structure_generation = 0;
};

#endif
