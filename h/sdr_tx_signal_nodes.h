#ifndef SDR_TX_SIGNAL_NODES_H
#define SDR_TX_SIGNAL_NODES_H

// The editable row list of one tab of an instance: tapped nodes, bus groups
// of nodes and debug ports in display order. Base of the data tab
// (SDR_TX_SIGNAL_SET) and the setup tab (SDR_TX_TRIGGER). Every edit is
// recorded, flags the instance's change status and pushes one atomic undo
// action.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_SIGNAL_VIEW;
class SDR_DATA_SIGNAL_VIEW_NODE;
class SDR_DATA_SIGNAL_WIRE;
class SDR_TX_UNDO_MANAGER;
class SDR_TX_CHANGE_STATUS;
class SDR_TX_SCRIPT_RECORDER;
class SDR_TX_UNDO_ACTION_ATOMIC;

// A text of a row that is mostly empty (alias, table and port names): one
// pointer wide, with storage only when it holds something, so that a row
// and each undo image of it stay small.
class SDR_TX_ROW_TEXT {
 public:
  SDR_TX_ROW_TEXT() = default;
  SDR_TX_ROW_TEXT(const SDR_TX_ROW_TEXT& other) { assign(other.str()); }
  SDR_TX_ROW_TEXT(SDR_TX_ROW_TEXT&&) noexcept = default;
  SDR_TX_ROW_TEXT& operator=(const SDR_TX_ROW_TEXT& other) {
    if (this != &other) assign(other.str());
    return *this;
  }
  SDR_TX_ROW_TEXT& operator=(SDR_TX_ROW_TEXT&&) noexcept = default;
  SDR_TX_ROW_TEXT& operator=(const std::string& text) {
    assign(text);
    return *this;
  }
  SDR_TX_ROW_TEXT& operator=(const char* text) {
    assign(text ? std::string(text) : std::string());
    return *this;
  }

  const std::string& str() const { return m_text ? *m_text : empty_text(); }
  operator const std::string&() const { return str(); }
  const char* c_str() const { return str().c_str(); }
  bool empty() const { return !m_text; }
  void clear() { m_text.reset(); }

 private:
  static const std::string& empty_text() {
    static const std::string empty;
    return empty;
  }
  void assign(const std::string& text) {
    if (text.empty())
      m_text.reset();
    else if (m_text)
      *m_text = text;
    else
      m_text.reset(new std::string(text));
  }

  std::unique_ptr<std::string> m_text;
};

inline bool operator==(const SDR_TX_ROW_TEXT& a, const SDR_TX_ROW_TEXT& b) {
  return a.str() == b.str();
}
inline bool operator==(const SDR_TX_ROW_TEXT& a, const std::string& b) {
  return a.str() == b;
}
inline bool operator==(const std::string& a, const SDR_TX_ROW_TEXT& b) {
  return a == b.str();
}
inline bool operator==(const SDR_TX_ROW_TEXT& a, const char* b) {
  return a.str() == b;
}
inline bool operator==(const char* a, const SDR_TX_ROW_TEXT& b) {
  return a == b.str();
}
template <class T>
inline bool operator!=(const SDR_TX_ROW_TEXT& a, const T& b) {
  return !(a == b);
}
inline bool operator!=(const std::string& a, const SDR_TX_ROW_TEXT& b) {
  return !(a == b);
}
inline bool operator!=(const char* a, const SDR_TX_ROW_TEXT& b) {
  return !(a == b);
}

// The attributes of a view element (name, value), in their order; empty
// without storage.
class SDR_TX_VIEW_IMAGE {
 public:
  using ENTRY = std::pair<std::string, std::string>;
  using LIST = std::vector<ENTRY>;

  SDR_TX_VIEW_IMAGE() = default;
  SDR_TX_VIEW_IMAGE(const SDR_TX_VIEW_IMAGE& other) { *this = other; }
  SDR_TX_VIEW_IMAGE(SDR_TX_VIEW_IMAGE&&) noexcept = default;
  SDR_TX_VIEW_IMAGE& operator=(const SDR_TX_VIEW_IMAGE& other) {
    if (this != &other) m_list.reset(other.empty() ? nullptr : new LIST(*other.m_list));
    return *this;
  }
  SDR_TX_VIEW_IMAGE& operator=(SDR_TX_VIEW_IMAGE&&) noexcept = default;

  bool empty() const { return !m_list || m_list->empty(); }
  void clear() { m_list.reset(); }
  void emplace_back(std::string name, std::string value) {
    if (!m_list) m_list.reset(new LIST());
    m_list->emplace_back(std::move(name), std::move(value));
  }
  const ENTRY* begin() const { return m_list ? m_list->data() : nullptr; }
  const ENTRY* end() const { return m_list ? m_list->data() + m_list->size() : nullptr; }

 private:
  std::unique_ptr<LIST> m_list;
};

// Rows by name: how many rows hold each name. Open addressing on a hash
// of the name; a slot points at the name of a row that holds it, so that
// an entry costs no allocation of its own and a lookup compares against
// the row itself. The row must keep that name, where it is, until it is
// removed here; a name held by several rows is copied into the table.
class SDR_API SDR_TX_NAME_COUNTS {
 public:
  SDR_TX_NAME_COUNTS() = default;
  ~SDR_TX_NAME_COUNTS();
  SDR_TX_NAME_COUNTS(const SDR_TX_NAME_COUNTS&) = delete;
  SDR_TX_NAME_COUNTS& operator=(const SDR_TX_NAME_COUNTS&) = delete;

  // How many rows hold name; 0 when none.
  int count(std::string_view name) const;
  // One more row holds *name (the row's own name).
  void add(const std::string* name);
  // One row less holds *name; the name leaves at zero.
  void remove(const std::string* name);
  bool empty() const { return m_size == 0; }
  void clear();

 private:
  // count 0: an empty slot. owned: key is the table's own copy.
  struct SLOT {
    const std::string* key = nullptr;
    uint32_t hash = 0;
    uint32_t count : 31;
    uint32_t owned : 1;
    SLOT() : count(0), owned(0) {}
  };
  // The slot holding name, or the size of the table.
  size_t find(std::string_view name, const std::string* key, uint32_t hash) const;
  void erase_at(size_t index);
  void rehash(size_t slots);

  std::vector<SLOT> m_slots;  // a power of two, at most half full
  size_t m_size = 0;
};

// A set of names (a tab's unique names). Open addressing on a hash of the
// name, with the names kept one after another in one block: an entry costs
// no allocation of its own, and a lookup reads one slot, and the name only
// when the hashes agree. The bytes of names that leave stay in the block
// until it is compacted.
class SDR_API SDR_TX_NAME_SET {
 public:
  // 1 when name is in the set, else 0.
  int count(std::string_view name) const;
  // True when name was absent (it is in the set now).
  bool insert(std::string_view name);
  void erase(std::string_view name);
  bool empty() const { return m_size == 0; }
  size_t size() const { return m_size; }
  void clear();
  // Room for n names without growing.
  void reserve(size_t n);

 private:
  // used 0: an empty slot. offset: where the name's length and bytes
  // start in m_text.
  struct SLOT {
    uint64_t offset = 0;
    uint32_t hash = 0;
    uint32_t used = 0;
  };
  std::string_view name_at(const SLOT& slot) const;
  // The slot holding name, or the size of the table.
  size_t find(std::string_view name, uint32_t hash) const;
  void erase_at(size_t index);
  void rehash(size_t slots);
  void compact();

  std::vector<SLOT> m_slots;  // a power of two, at most half full
  std::string m_text;
  size_t m_size = 0;
  size_t m_garbage = 0;  // bytes of m_text that no slot uses
};

class SDR_API SDR_TX_SIGNAL_NODES {
 public:
  // One row. A group is a row of display type expand or collapse group
  // followed directly by its members and one last member. The members are
  // laid out so that a row takes few cache lines: the rows, and the undo
  // images of them, are as many as the nets of the design. What the walks
  // of a commit over every row read comes first (one line, with a short
  // name).
  struct NODE_TYPE {
    std::string name;
    SDR_DATA_NODE_DISPLAY_TYPE display_type = SDR_DTYPE_UNKNOWN_NODE;
    SDR_DATA_WIRE_CAPTURE_TYPE capture_type = SDR_CTYPE_BOTH;
    SDR_DATA_WIRE_TAP_MODE tap_mode = SDR_MTYPE_CLASSIC_TAP;
    int data_wire_index = -1;
    int trigger_wire_index = -1;
    bool connection_status = true;
    bool lsb_to_msb = false;
    bool signal_inverted = false;
    bool debug_port = false;
    bool mark = false;                                    // scratch
    bool no_wire = false;                                 // scratch: built from a view node without a wire
    bool invalid = false;                                 // set_node_invalid / is_node_invalid
    SDR_DATA_SIGNAL_VIEW_NODE* data_view_node = nullptr;  // not owned
    SDR_TX_ROW_TEXT alias;
    SDR_TX_ROW_TEXT mnemonics_table_name;
    SDR_TX_ROW_TEXT debug_port_name;
    SDR_DATA_SIGNAL_TYPE signal_type = SDR_STYPE_UNKNOWN;
    SDR_DATA_GROUP_DISPLAY_TYPE group_display_type = SDR_GTYPE_HEX;
    SDR_DATA_GROUP_LINKING_TYPE group_linking = SDR_LTYPE_NONE;
    // The attributes of the view node when an undo image was taken, so that
    // undo puts the element back exactly as it was.
    SDR_TX_VIEW_IMAGE view_image;
  };
  using NODE_VEC = std::vector<std::unique_ptr<NODE_TYPE>>;
  // Display types of rows by index.
  using DISPLAY_TYPES = std::vector<std::pair<int, SDR_DATA_NODE_DISPLAY_TYPE>>;

  SDR_TX_SIGNAL_NODES(int index, SDR_TX_UNDO_MANAGER* undo_manager, SDR_TX_CHANGE_STATUS* change_status,
                      SDR_TX_SCRIPT_RECORDER* recorder, bool setup_tab);
  SDR_TX_SIGNAL_NODES(int index, SDR_DATA_SIGNAL_VIEW* view, SDR_TX_UNDO_MANAGER* undo_manager,
                      SDR_TX_SCRIPT_RECORDER* recorder, bool setup_tab);
  virtual ~SDR_TX_SIGNAL_NODES();

  SDR_TX_SIGNAL_NODES(const SDR_TX_SIGNAL_NODES&) = delete;
  SDR_TX_SIGNAL_NODES& operator=(const SDR_TX_SIGNAL_NODES&) = delete;

  // Virtual operations, overridden by the two tabs.
  virtual const char* get_name() const = 0;
  virtual bool set_node_name(int index, const char* name);
  virtual bool set_group_node_name(int index, const char* name);
  virtual bool set_node_alias(int index, const char* alias);
  virtual bool is_node_deletable(int index) = 0;
  virtual bool delete_node(const char* name);
  // The number of rows removed.
  virtual int delete_node(int first, int last);
  virtual bool append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                           SDR_DATA_WIRE_TAP_MODE tap_mode);
  virtual bool ungroup_node(int index);
  // group null: the group row is derived from the members.
  virtual bool group_node(int first, int last, NODE_TYPE* group);
  // The index just after the copies, or -1.
  virtual int copy_before_node(int first, int last, int before, bool into_group);
  virtual void rebuild_uniq_name_set();

  // Row getters; out of range gives the type's default.
  int get_node_count() const { return static_cast<int>(m_node_vec.size()); }
  const char* get_node_name(int index) const;
  const char* get_node_alias(int index) const;
  SDR_DATA_SIGNAL_TYPE get_signal_type(int index) const;
  SDR_DATA_WIRE_CAPTURE_TYPE get_capture_type(int index) const;
  SDR_DATA_WIRE_TAP_MODE get_tap_mode(int index) const;
  bool get_connection_status(int index) const;
  SDR_DATA_NODE_DISPLAY_TYPE get_node_display_type(int index) const;
  bool is_debug_port(int index) const;
  const char* get_debug_port_name(int index) const;
  int get_data_wire_index(int index) const;
  SDR_DATA_GROUP_DISPLAY_TYPE get_node_group_display_type(int index) const;
  const char* get_node_mnemonics_table_name(int index) const;
  bool is_node_lsb_to_msb(int index) const;
  bool is_node_signal_inverted(int index) const;
  bool is_node_invalid(int index) const;
  void set_node_invalid(int index, bool invalid);
  bool is_group_member_expanded(int index) const;
  // Searches; each gives a row index or -1.
  int find_wire_node(const char* name) const;
  int find_group_node(const char* name) const;
  int find_node_with_name_not_in_range(const char* name, int first, int last) const;
  int find_parent_group_node(int index) const;

  // Edits.
  bool set_node_capture_type(int index, SDR_DATA_WIRE_CAPTURE_TYPE capture_type);
  bool set_node_tap_mode(int index, SDR_DATA_WIRE_TAP_MODE tap_mode);
  bool set_node_connection_status(int index, bool connected);
  bool set_debug_out(int index, bool debug_port, const char* port_name);
  bool set_node_group_display_type(int index, SDR_DATA_GROUP_DISPLAY_TYPE display_type);
  bool set_node_mnemonics_table_name(int index, const char* table);
  bool set_node_lsb_to_msb(int index, bool lsb_to_msb);
  bool set_node_signal_inverted(int index, bool inverted);
  bool toggle_node(int index);
  bool link_group_node(int index, SDR_DATA_GROUP_LINKING_TYPE linking);
  // The index just after the block's new place, or -1.
  int move_before_node(int first, int last, int before, bool into_group);
  bool rename_all_node_name(const char* old_name, const char* new_name);
  bool rename_all_node_alias(const char* old_alias, const char* new_alias);

  // Operations used by undo and by the two tabs.
  bool append_node(NODE_TYPE* node, bool clone);
  bool append_node_uniq_name(NODE_TYPE* node);
  int delete_node_base(int first, int last);
  // delete_node_base that hands the rows removed to taken instead of an
  // undo action (undo of an append keeps its row so).
  int take_rows(int first, int last, NODE_VEC* taken);
  // Undo of move_before_node: the block back in its place and the display
  // types the move changed as they were.
  bool restore_moved_block(int first, int last, int before, const DISPLAY_TYPES& types);
  bool insert_deleted_before_node(int index, const NODE_VEC& nodes);
  bool restore_node_properties(int index, const NODE_TYPE* node);
  static void copy_node_properties(const NODE_TYPE* source, NODE_TYPE* target);
  static void copy_bus_node_properties(const NODE_TYPE* source, NODE_TYPE* target);
  void push_node_image(int index);
  void node_block_swap(int first, int middle, int last);
  void set_the_other_signal_nodes(SDR_TX_SIGNAL_NODES* nodes);
  SDR_TX_SIGNAL_NODES* get_the_other_signal_nodes() const { return m_tx_the_other_signal_nodes; }
  void gen_debug_port_name(std::string* text, int n) const;
  void assign_data_wire_to_node(NODE_TYPE* node, SDR_DATA_SIGNAL_WIRE* wire);
  bool init();
  bool init(SDR_DATA_SIGNAL_VIEW* view);
  bool commit(SDR_DATA_SIGNAL_VIEW* view);
  bool commit_signal_set(SDR_DATA_SIGNAL_SET* signal_set, bool incremental);
  bool commit_signal_set_debug_port(SDR_DATA_SIGNAL_SET* signal_set);
  bool recover_presentation_view_error();

  int get_instance_index() const { return m_instance_index; }
  bool is_setup_tab() const { return m_setup_tab; }
  bool is_capture_type_changed() const { return m_capture_type_changed; }
  SDR_TX_UNDO_MANAGER* get_undo_manager() const { return m_tx_undo_manager; }
  SDR_TX_CHANGE_STATUS* get_change_status() const { return m_tx_change_status; }
  SDR_DATA_SIGNAL_VIEW* get_data_view() const { return m_data_view; }
  // Rows of that name (group rows included).
  int count_name(const char* name) const;
  // The same without the group rows.
  int count_net_name(const char* name) const;
  // The rows no longer mirror a view (its signal set is going away); the
  // next commit builds the view it is given from the rows.
  void unbind_view();

 protected:
  NODE_TYPE* node_at(int index) const;
  // Sets the node-change flag a row's tap mode calls for.
  void flag_node_change(const NODE_TYPE* node);
  // Sets the presentation-change flag.
  void flag_presentation_change();
  // True while the undo manager replays an action.
  bool is_replaying() const;
  // Hands an atomic action to the undo manager (destroyed without one).
  void push_action(SDR_TX_UNDO_ACTION_ATOMIC* action);
  // The last row of the group whose row is at index (index itself when the
  // group has no member).
  int group_last(int index) const;
  // The base deletion, without a record scope of its own. The rows removed
  // go to taken when given, else to a DELETE undo action.
  int delete_rows(int first, int last, NODE_VEC* taken = nullptr);
  // The base property edit frame: change returns true when it changed the
  // row; flag sets the change flag. Pushes SET_NODE.
  template <class CHANGE, class FLAG>
  bool edit_row(int index, CHANGE change, FLAG flag);

  bool m_capture_type_changed = false;
  bool m_view_changed = false;
  NODE_VEC m_node_vec;
  int m_data_wire_count = 0;
  int m_trigger_wire_count = 0;
  int m_next_data_wire_index = 0;
  int m_next_trigger_wire_index = 0;
  int m_instance_index;
  SDR_TX_UNDO_MANAGER* m_tx_undo_manager;
  SDR_TX_CHANGE_STATUS* m_tx_change_status;
  SDR_TX_SIGNAL_NODES* m_tx_the_other_signal_nodes = nullptr;
  SDR_TX_SCRIPT_RECORDER* m_script_recorder;
  bool m_setup_tab;
  SDR_DATA_SIGNAL_VIEW* m_data_view = nullptr;

 private:
  // View nodes of the rows. A row and every copy of it share one handle,
  // owned here, so that a commit that rebuilds the view re-targets the
  // copies held by undo actions too. Detached elements are never released:
  // undo may put them back.
  SDR_DATA_SIGNAL_VIEW_NODE* adopt_view_node(SDR_DATA_SIGNAL_VIEW_NODE* node);
  // The row's view node when it belongs to view and has an element.
  SDR_DATA_SIGNAL_VIEW_NODE* view_node_in(const NODE_TYPE* node, const SDR_DATA_SIGNAL_VIEW* view) const;
  SDR_DATA_SIGNAL_VIEW_NODE* make_view_node(const NODE_TYPE* node, SDR_DATA_SIGNAL_VIEW* view);
  // Places row index's view node after the rows before it (which are in
  // place); creates one when the row has none and make is true.
  void place_view_node(int index, bool make);
  void detach_view_node(NODE_TYPE* node);
  // A copy of the row for an undo action, with the view node's attributes.
  std::unique_ptr<NODE_TYPE> take_image(const NODE_TYPE* node) const;
  // Writes what differs between the row and its view node.
  void sync_view_node(NODE_TYPE* node);
  // The same with the row's view node vn (view_node_in); gives the wire of
  // a net (or null), and sets renamed when it wrote a name or an alias.
  SDR_DATA_SIGNAL_WIRE* sync_view_node_in(NODE_TYPE* node, SDR_DATA_SIGNAL_VIEW_NODE* vn, bool* renamed);
  void name_added(const NODE_TYPE* node);
  void name_removed(const NODE_TYPE* node);
  NODE_TYPE* build_group_row(int first, int last);
  void rebuild_view(SDR_DATA_SIGNAL_VIEW* view);
  // Moves a block inside a linked group on the other tab as well.
  void mirror_linked_move(int first, int last, int before, bool into_group);
  template <class APPLY>
  void mirror_linked_group(int index, SDR_DATA_GROUP_LINKING_TYPE needed, APPLY apply);

  std::vector<std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>> m_view_node_pool;
  // Rows by name, and group rows by name.
  SDR_TX_NAME_COUNTS m_name_count;
  SDR_TX_NAME_COUNTS m_group_name_count;
  // Handles made before the rows last left a view are not used again: each
  // handle of the pool with the epoch of the list when it was made or last
  // re-targeted.
  class HANDLE_EPOCHS {
   public:
    // The epoch of handle, or null when the handle is not one of the pool.
    unsigned* find(const SDR_DATA_SIGNAL_VIEW_NODE* handle);
    const unsigned* find(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const;
    void set(const SDR_DATA_SIGNAL_VIEW_NODE* handle, unsigned epoch);
    void clear();
    // Starts reading the slot a find of handle reads (a hint only).
    void prefetch(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const;

   private:
    // Open addressing on the handle's address: a lookup, made for every
    // row a commit or an edit visits, reads one slot of a flat table.
    struct SLOT {
      const SDR_DATA_SIGNAL_VIEW_NODE* handle = nullptr;
      unsigned epoch = 0;
    };
    size_t slot_of(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const;
    // The slot of handle, or the size of the table.
    size_t index_of(const SDR_DATA_SIGNAL_VIEW_NODE* handle) const;
    std::vector<SLOT> m_slots;
    size_t m_size = 0;
    int m_shift = 64;
  };
  HANDLE_EPOCHS m_handle_epoch;
  unsigned m_view_epoch = 0;
  bool m_link_suspended = false;
};

#endif
