#ifndef SDR_DATA_TRIGGER_H
#define SDR_DATA_TRIGGER_H

// One named acquisition setup of a signal set ("trigger" element): trigger
// levels with basic per-wire conditions or advanced expressions, trigger
// position, storage mode, segment size, trigger-in/out conditions, and the
// logs captured with it.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_data_name_map_export.h"
#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_SIGNAL_VIEW_NODE;
class SDR_DATA_LOG;
class ATG_ADVANCED_TRIGGER_FACTORY;
class ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP;

// (type, value) pairs: the attributes of one advanced-condition tree node,
// carried between "op_node" elements and the front end's tree objects.
class SDR_API SDR_DATA_STRING_PAIR_VEC {
 public:
  void append(const char* type, const char* value);
  int get_num_pairs() const { return static_cast<int>(m_pairs.size()); }
  // Null when index is out of range.
  const char* get_type_at(int index) const;
  const char* get_value_at(int index) const;

 private:
  std::vector<std::pair<std::string, std::string>> m_pairs;
};

// A copyable handle on one "op_node" element of an advanced condition tree,
// or a null handle. It owns nothing: the element belongs to the document.
class SDR_API SDR_DATA_TRIGGER_ADV_TREE_OBJ {
 public:
  explicit SDR_DATA_TRIGGER_ADV_TREE_OBJ(xercesc::DOMElement* element = nullptr) : m_element(element) {}
  bool is_null() const { return m_element == nullptr; }
  xercesc::DOMElement* get_dom_node() const { return m_element; }
  // The first "op_node" child, and the next "op_node" sibling.
  SDR_DATA_TRIGGER_ADV_TREE_OBJ first_child() const;
  SDR_DATA_TRIGGER_ADV_TREE_OBJ next_sibling() const;
  // A new empty "op_node" appended as the last child.
  SDR_DATA_TRIGGER_ADV_TREE_OBJ append_child();
  // A new vector of the element's attributes, owned by the caller; null for
  // a null handle.
  SDR_DATA_STRING_PAIR_VEC* get_attributes() const;
  // Sets each pair as an attribute; attributes not named stay.
  void set_attributes(const SDR_DATA_STRING_PAIR_VEC* attr_vec);
  // Replaces the element (and its subtree) by a fresh empty "op_node" in the
  // same place.
  void reset();

 private:
  xercesc::DOMElement* m_element;
};

class SDR_API SDR_DATA_TRIGGER {
 public:
  // A new "trigger" element named by the automatic name generator (prefix
  // "trigger"), with an empty "events" child; the signal set attaches it.
  explicit SDR_DATA_TRIGGER(xercesc::DOMDocument* document);
  SDR_DATA_TRIGGER(xercesc::DOMDocument* document, const char* name);
  // Reads an existing "trigger" element.
  SDR_DATA_TRIGGER(xercesc::DOMDocument* document, xercesc::DOMElement* element,
                   SDR_DATA_SIGNAL_SET* signal_set);
  virtual ~SDR_DATA_TRIGGER();

  SDR_DATA_TRIGGER(const SDR_DATA_TRIGGER&) = delete;
  SDR_DATA_TRIGGER& operator=(const SDR_DATA_TRIGGER&) = delete;

  // Takes the trigger out of its signal set (list, name map or global
  // slot, the session's active display tree) and its element out of the
  // document, and hands it to the caller, who may append it again or
  // destroy it; destroying a detached object frees its element. A detached
  // object must go before its document.
  std::unique_ptr<SDR_DATA_TRIGGER> detach();
  // detach, then destroy.
  void remove();
  void set_signal_set(SDR_DATA_SIGNAL_SET* signal_set) { m_signals = signal_set; }
  SDR_DATA_SIGNAL_SET* get_signal_set() const { return m_signals; }
  xercesc::DOMElement* get_dom_node() const { return m_element; }
  const char* get_name() const;
  bool set_name(const char* name);

  // Settings; each writes its attribute at once.
  void set_trigger_position(SDR_DATA_TRIGGER_POSITION position);
  SDR_DATA_TRIGGER_POSITION get_trigger_position() const { return m_position; }
  void set_trigger_in(SDR_DATA_TRIGGER_CONDITION condition);
  SDR_DATA_TRIGGER_CONDITION get_trigger_in() const { return m_trigger_in; }
  void set_trigger_out(SDR_DATA_TRIGGER_CONDITION condition);
  SDR_DATA_TRIGGER_CONDITION get_trigger_out() const { return m_trigger_out; }
  bool set_trigger_type(SDR_DATA_TRIGGER_TYPE type);
  SDR_DATA_TRIGGER_TYPE get_trigger_type() const { return m_trigger_type; }
  bool is_segment_enabled() const { return m_trigger_type == SDR_TTYPE_SEGMENTED; }
  bool set_segment_size(int size);
  int get_segment_size() const { return m_segment_size; }
  void set_expanded_status(bool expanded);
  bool is_expanded() const { return m_expanded; }
  void set_global_temp();
  bool is_global_temp() const;
  void set_global_log(SDR_DATA_LOG* log) { m_logs.set_global(log); }
  SDR_DATA_LOG* get_global_log() const { return m_logs.get_global(); }

  // Levels and basic conditions.
  int append_new_level(bool create_dom);
  int get_event_levels() const { return static_cast<int>(m_levels.size()); }
  bool is_trigger_level_enabled(int level) const;
  bool is_trigger_level_basic_condition(int level) const;
  bool set_trigger_level_enabled(int level, bool enabled);
  bool set_trigger_level_cond_expr_type(int level, bool basic);
  SDR_DATA_TRIGGER_CONDITION get_condition(int level, int node) const;
  // The basic condition text of a level, as written into the document.
  const char* get_condition_text(int level);
  // By trigger wire index.
  bool set_trigger_condition(int node, int level, SDR_DATA_TRIGGER_CONDITION condition, bool update);
  // Every wire of a bus (or a single wire's row) with one condition.
  bool set_trigger_condition(const char* name, int level, SDR_DATA_TRIGGER_CONDITION condition, bool update);
  // The bits of an integer value over a bus, least significant bit first.
  bool set_trigger_condition(const char* bus, int level, long value, bool update);
  // A symbol of the bus's own mnemonic table.
  bool set_trigger_condition(const char* bus, int level, const char* symbol, bool update);
  // A symbol of an explicit mnemonic table.
  bool set_trigger_condition(const char* bus, int level, const char* table, const char* symbol, bool update);
  // The condition a character of a mnemonic value stands for.
  static SDR_DATA_TRIGGER_CONDITION convert_symbol_char(char c);

  // Logs.
  SDR_DATA_LOG* create_log(const char* name, bool global);
  bool append(SDR_DATA_LOG* log, bool update_dom);
  SDR_DATA_LOG* find_log(const char* name) const;
  int get_num_logs() const { return m_logs.size(); }
  SDR_DATA_LOG* get_log_at(int index) const;
  SDR_DATA_LOG* get_last_log() const;
  void delete_from_vector(SDR_DATA_LOG* log);
  bool insert_into_name_map(SDR_DATA_LOG* log);
  void delete_from_name_map(SDR_DATA_LOG* log);

  // Advanced conditions.
  SDR_DATA_TRIGGER_ADV_TREE_OBJ* get_advanced_trigger_tree_root(int level);
  SDR_DATA_TRIGGER_ADV_TREE_OBJ* recreate_advanced_trigger_tree_root(int level);
  // Never null; empty when the level has no expression.
  const char* get_advanced_trigger_expression(int level);
  // Stores the expression (as CDATA of the level's "expression" child) and
  // compiles it; the result is the compiler's verdict.
  bool set_advanced_trigger_expression(int level, const char* adv_expr);
  // A trigger wire now goes by new_name where it went by old_name (its
  // alias changed, or was removed and the wire goes by its own name): every
  // stored expression that names old_name is written again naming new_name,
  // every other byte kept; quoting follows the name written. Renaming back
  // gives each text back as it was. An expression that does not scan stays
  // as it is. The name index map and the compiled levels follow the wire's
  // names. True when an expression changed.
  bool rename_advanced_signal(const char* old_name, const char* new_name);
  // The level's compiled expression, compiled on first use; null when the
  // level has none or it does not compile.
  ATG_ADVANCED_TRIGGER_FACTORY* get_advanced_trigger_factory(int level);
  const char* get_advanced_trigger_crc_string(int level);
  // Fills map (or the trigger's own map when null) with the names an
  // expression may use for the trigger wires.
  bool create_name_index_map(ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* map);
  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* get_name_index_map() const {
    return m_adv_trigger_name_index_map.get();
  }
  // Coordinates the levels' latencies and checks that an all-advanced
  // trigger uses every input; runs once.
  bool finalize_triggers();

  // Configuration CRC: the stored "CRC" attribute, else computed from the
  // version-dependent texts and stored.
  unsigned long get_crc_value();
  void set_crc_value(unsigned long value);
  // The texts the CRC is computed from.
  std::string get_crc_critical_text(int version);
  std::string get_crc_non_critical_text() const;
  std::string get_crc_incremental_text() const;
  std::string get_crc_non_incremental_text() const;
  // CRC-16/MODBUS, and the CRC8 of the configuration (register 0xFF,
  // feedback 0x88, least significant bit first).
  static unsigned crc16(const std::string& text);
  static unsigned crc8(const std::string& text);

  const char* to_string();
  int get_last_trigger_level_latency_delay();
  int get_trigger_out_latency_delay();
  bool is_using_incremental_route() const;
  bool is_incremental_node_used_correctly();

 private:
  // An expression rewritten for a renamed wire: renaming back restores
  // before, byte for byte, while the text is still after.
  struct RENAMED_TEXT {
    std::string before;
    std::string after;
    std::string from;
    std::string to;
  };

  // One trigger level. The advanced members are filled by the advanced
  // condition support.
  struct LEVEL {
    std::vector<SDR_DATA_TRIGGER_CONDITION> conditions;
    bool enabled = true;
    bool basic = true;
    xercesc::DOMElement* element = nullptr;
    xercesc::DOMNode* text_node = nullptr;                     // basic condition text
    xercesc::DOMNode* expression_node = nullptr;               // CDATA of "expression"
    std::unique_ptr<SDR_DATA_TRIGGER_ADV_TREE_OBJ> tree_root;  // first "op_node"
    // The longest text written into text_room_node: its buffer holds as much.
    const xercesc::DOMNode* text_room_node = nullptr;
    size_t text_room = 0;
    // While synced_node is text_node, the text holds what the conditions
    // and the term names of version synced_names make, synced_length
    // characters: one changed condition is then patched in place. Null
    // when a condition changed without the text.
    const xercesc::DOMNode* synced_node = nullptr;
    unsigned long synced_names = 0;
    size_t synced_length = 0;
    bool factory_tried = false;
    std::unique_ptr<ATG_ADVANCED_TRIGGER_FACTORY> factory;
    std::unique_ptr<std::string> expression;
    std::unique_ptr<std::string> crc_text;
    std::vector<RENAMED_TEXT> renames;  // newest last
    LEVEL();
    ~LEVEL();
  };

  friend class SDR_COND_APPLIER;

  void init_new(const char* name);
  void read_element();
  void parse_condition(const char* text, size_t length, int level);
  void write_condition_text(int level);
  bool patch_condition_text(LEVEL& l, size_t node, SDR_DATA_TRIGGER_CONDITION before,
                            SDR_DATA_TRIGGER_CONDITION after);
  ATG_ADVANCED_TRIGGER_FACTORY* create_factory();
  // Fills the name index map again after a wire was renamed, and compiles
  // the levels anew against it.
  void refresh_stale_name_map();
  // Aligns the latencies of the compiled advanced levels.
  void coordinate_levels();
  int get_instance_version() const;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> find_setup_bus(const char* bus) const;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE> find_symbol_bus(const char* bus, int level,
                                                             const char* symbol) const;
  // Walks the children of a bus row from the least significant bit and
  // hands each one's wire (or null) to visit.
  template <class VISIT>
  void for_each_bus_bit(SDR_DATA_SIGNAL_VIEW_NODE* node, VISIT visit);
  bool apply_symbol(SDR_DATA_SIGNAL_VIEW_NODE* node, int level, const char* table, const char* symbol,
                    bool update);
  template <class STRING>
  struct TEXT_WORDS;
  template <class STRING, class OUT>
  void for_each_text_piece(const LEVEL& l, const STRING& terms, const std::vector<size_t>& at, OUT out) const;

  std::unique_ptr<std::string> m_name;
  SDR_DATA_SIGNAL_SET* m_signals = nullptr;
  SDR_DATA_TRIGGER_POSITION m_position = SDR_TPOS_PRE;
  SDR_DATA_TRIGGER_CONDITION m_trigger_in = SDR_TCOND_DONT_CARE;
  SDR_DATA_TRIGGER_CONDITION m_trigger_out = SDR_TCOND_ACTIVE_HIGH;
  int m_segment_size = 1;
  SDR_DATA_TRIGGER_TYPE m_trigger_type = SDR_TTYPE_CIRCULAR;
  bool m_expanded = true;
  bool m_finalized = false;
  SDR_DATA_CHILD_LIST<SDR_DATA_LOG> m_logs;
  std::vector<std::unique_ptr<LEVEL>> m_levels;
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_element = nullptr;
  xercesc::DOMElement* m_events_element = nullptr;
  std::unique_ptr<ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP> m_adv_trigger_name_index_map;
  // A wire was renamed since the map was filled.
  bool m_name_map_stale = false;
  std::string m_text;
};

#endif
