#ifndef SDR_DATA_SIGNAL_SET_H
#define SDR_DATA_SIGNAL_SET_H

// The acquisition set-up of one instance ("signal_set" element) and its
// tapped signals ("wire" elements).

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_data_name_map_export.h"
#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_DATA_INSTANCE;
class SDR_DATA_SIGNAL_SET;
class SDR_DATA_TRIGGER;
class SDR_DATA_SIGNAL_VIEW;
class SDR_WIRE_INDEX;

// One tapped design node: a data input, a trigger input, or both. It has one
// "wire" element per role, and every setter writes to each of them.
class SDR_API SDR_DATA_SIGNAL_WIRE {
 public:
  SDR_DATA_SIGNAL_WIRE(xercesc::DOMDocument* document, const char* name, SDR_DATA_WIRE_CAPTURE_TYPE type);
  SDR_DATA_SIGNAL_WIRE(xercesc::DOMDocument* document, const char* name, const char* alias,
                       SDR_DATA_WIRE_CAPTURE_TYPE type);
  // Reads an existing element: a data wire when data_element is given, else
  // a trigger wire.
  SDR_DATA_SIGNAL_WIRE(xercesc::DOMDocument* document, xercesc::DOMElement* trigger_element,
                       xercesc::DOMElement* data_element);
  virtual ~SDR_DATA_SIGNAL_WIRE();

  SDR_DATA_SIGNAL_WIRE(const SDR_DATA_SIGNAL_WIRE&) = delete;
  SDR_DATA_SIGNAL_WIRE& operator=(const SDR_DATA_SIGNAL_WIRE&) = delete;

  const char* get_name() const;
  const char* get_alias() const;
  bool is_debug_port() const { return m_debug_port; }
  const char* get_debug_port_name() const;
  SDR_DATA_WIRE_CAPTURE_TYPE get_capture_type() const { return m_capture_type; }
  SDR_DATA_WIRE_TAP_MODE get_tap_mode() const { return m_tap_mode; }
  SDR_DATA_SIGNAL_TYPE get_signal_type() const { return m_signal_type; }
  int get_trigger_wire_index() const { return m_trigger_index; }
  int get_data_wire_index() const { return m_data_index; }
  bool get_connection_status() const { return m_connected; }
  xercesc::DOMElement* get_trigger_dom_node() const { return m_trigger_element; }
  xercesc::DOMElement* get_data_dom_node() const { return m_data_element; }

  void del_alias();
  void set_debug_port(bool debug_port, const char* debug_port_name);
  void set_signal_type(SDR_DATA_SIGNAL_TYPE type);
  void set_tap_mode(SDR_DATA_WIRE_TAP_MODE mode);
  // Disconnecting a "classic" wire is refused (false); it stays connected.
  bool set_connection_status(bool connected);
  void set_trigger_wire_index(int index);
  void set_data_wire_index(int index) { m_data_index = index; }

  static void convert_to_signal_type_str(SDR_DATA_SIGNAL_TYPE type, const char** out);
  static void convert_to_signal_type(const char* text, SDR_DATA_SIGNAL_TYPE* out);

 private:
  friend class SDR_DATA_SIGNAL_SET;

  void set_alias(const char* alias);
  void set_capture_type(SDR_DATA_WIRE_CAPTURE_TYPE type) { m_capture_type = type; }
  void consolidate(SDR_DATA_SIGNAL_WIRE* duplicate, bool create_elements);
  void consolidate(SDR_DATA_WIRE_CAPTURE_TYPE added, bool create_elements);
  void read_element(xercesc::DOMElement* element);
  xercesc::DOMElement* create_element();
  // Writes one attribute on each element the wire has (null removes it).
  void write_attribute(const char* name, const char* value);

  static void convert_to_tap_mode_str(SDR_DATA_WIRE_TAP_MODE mode, const char** out);
  static void convert_to_tap_mode(const char* text, SDR_DATA_WIRE_TAP_MODE* out);
  static void convert_to_capture_type_str(SDR_DATA_WIRE_CAPTURE_TYPE type, const char** out);
  static void convert_to_capture_type(const char* text, SDR_DATA_WIRE_CAPTURE_TYPE* out);

  // What a commit's walks over thousands of wires read comes first, so that
  // a wire's first cache line holds it (with a short name).
  SDR_DATA_WIRE_CAPTURE_TYPE m_capture_type = SDR_CTYPE_DATA;
  SDR_DATA_WIRE_TAP_MODE m_tap_mode = SDR_MTYPE_CLASSIC_TAP;
  int m_trigger_index = -1;
  int m_data_index = -1;
  bool m_debug_port = false;
  bool m_connected = true;
  std::optional<std::string> m_name;
  std::optional<std::string> m_alias;
  std::unique_ptr<std::string> m_debug_port_name;
  SDR_DATA_SIGNAL_TYPE m_signal_type = SDR_STYPE_UNKNOWN;
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_data_element = nullptr;
  xercesc::DOMElement* m_trigger_element = nullptr;
  // The set the wire was last appended to, told when the alias changes.
  SDR_DATA_SIGNAL_SET* m_set = nullptr;
};

class SDR_API SDR_DATA_SIGNAL_SET {
 public:
  enum POLARITY { POSEDGE = 0, NEGEDGE = 1 };

  // A new set named by the automatic name generator (base "signal_set").
  explicit SDR_DATA_SIGNAL_SET(xercesc::DOMDocument* document);
  // A new "signal_set" element with its children and two empty views.
  SDR_DATA_SIGNAL_SET(xercesc::DOMDocument* document, const char* name);
  // Reads an existing element, bringing older layouts up to the current one.
  SDR_DATA_SIGNAL_SET(xercesc::DOMDocument* document, xercesc::DOMElement* element,
                      SDR_DATA_INSTANCE* instance);
  virtual ~SDR_DATA_SIGNAL_SET();

  SDR_DATA_SIGNAL_SET(const SDR_DATA_SIGNAL_SET&) = delete;
  SDR_DATA_SIGNAL_SET& operator=(const SDR_DATA_SIGNAL_SET&) = delete;

  const char* get_name() const;
  bool set_name(const char* name);
  const char* get_clock_name() const;
  POLARITY get_clock_polarity() const { return m_polarity; }
  void set_clock(const char* name, POLARITY polarity);
  void set_clock(POLARITY polarity);
  const char* get_top_entity_name() const;
  void set_top_entity_name(const char* name);
  int get_sample_depth() const { return m_sample_depth; }
  void set_sample_depth(int depth);
  // Corrects depth to a valid sample depth; false when it had to change.
  static bool validate_sample_depth(int* depth);
  SDR_KALVOS_RAM_TYPE get_kalvos_ram_type() const { return m_ram_type; }
  void set_kalvos_ram_type(SDR_KALVOS_RAM_TYPE type);

  bool is_trigger_in_enabled() const { return m_trigger_in_enabled; }
  void enable_trigger_in(bool enabled);
  bool is_trigger_out_enabled() const { return m_trigger_out_enabled; }
  void enable_trigger_out(bool enabled);
  const char* get_trigger_in_pin() const;
  void set_trigger_in_pin(const char* name);
  const char* get_trigger_in_node() const;
  void set_trigger_in_node(const char* name);
  const char* get_trigger_out_pin() const;
  void set_trigger_out_pin(const char* name);
  const char* get_trigger_out_node() const;
  void set_trigger_out_node(const char* name);
  // Forget the pin and the node of a port (both attributes go).
  void clear_trigger_in_port();
  void clear_trigger_out_port();

  int get_reserved_data_node_size() const { return m_reserved_data_nodes; }
  void set_reserved_data_node_size(int size);
  int get_reserved_trigger_node_size() const { return m_reserved_trigger_nodes; }
  void set_reserved_trigger_node_size(int size);

  bool is_expanded() const { return m_expanded; }
  bool set_expanded_status(bool expanded);
  SDR_DATA_INSTANCE* get_instance() const { return m_instance; }
  void set_instance(SDR_DATA_INSTANCE* instance) { m_instance = instance; }
  xercesc::DOMElement* get_dom_node() const { return m_element; }
  xercesc::DOMDocument* get_dom_document() const { return m_document; }
  SDR_DATA_SIGNAL_VIEW* get_data_view() const { return m_data_view.get(); }
  SDR_DATA_SIGNAL_VIEW* get_setup_view() const { return m_setup_view.get(); }
  bool is_global_temp() const;
  void set_global_temp();

  // Wires.
  SDR_DATA_SIGNAL_WIRE* create_wire(const char* name, SDR_DATA_WIRE_CAPTURE_TYPE type,
                                    SDR_DATA_WIRE_TAP_MODE mode, bool connected, const char* alias);
  bool append(SDR_DATA_SIGNAL_WIRE* wire, bool attach_element);
  // By name or by alias.
  SDR_DATA_SIGNAL_WIRE* get_wire(const char* name) const;
  // The same answer, without the lookup when the wire at data_index of the
  // data list, or else at trigger_index of the trigger list, is the one
  // named name: walks over thousands of rows that keep their wires' places
  // then skip the index, whose slots and wires are far apart in memory.
  // Any index, -1 included, is safe.
  SDR_DATA_SIGNAL_WIRE* get_wire(const char* name, int data_index, int trigger_index) const;
  SDR_DATA_SIGNAL_WIRE* get_trigger_wire_at(int index) const;
  SDR_DATA_SIGNAL_WIRE* get_data_wire_at(int index) const;
  // The alias of the trigger wire at index, else its name (null if none).
  const char* get_trigger_wire_alias_at(int index) const;
  int get_trigger_wire_width() const { return static_cast<int>(m_trigger_wires.size()); }
  int get_data_wire_width() const { return static_cast<int>(m_data_wires.size()); }
  int get_wire_size() const;
  int get_ela_trigger_wire_width() const;
  int get_ela_data_wire_width() const;
  bool rename_signal_alias(const char* name, const char* alias);
  bool create_signal_connections();
  const char* get_signal_connections() const { return m_signal_connections.c_str(); }
  bool get_connection_status() const { return m_all_connected; }

  // Triggers.
  SDR_DATA_TRIGGER* create_trigger(const char* name, bool global);
  bool append(SDR_DATA_TRIGGER* trigger, bool attach_element);
  bool insert_into_name_map(SDR_DATA_TRIGGER* trigger);
  void delete_from_name_map(SDR_DATA_TRIGGER* trigger);
  void delete_from_vector(SDR_DATA_TRIGGER* trigger);
  // By name in the list, then the global trigger by name.
  SDR_DATA_TRIGGER* find_trigger(const char* name) const;
  SDR_DATA_TRIGGER* get_trigger_at(int index) const;
  int get_num_triggers() const { return m_triggers.size(); }
  SDR_DATA_TRIGGER* get_last_trigger() const;
  SDR_DATA_TRIGGER* get_global_trigger() const { return m_triggers.get_global(); }
  void set_global_trigger(SDR_DATA_TRIGGER* trigger) { m_triggers.set_global(trigger); }

  // Takes the set out of its instance (list, name map or global slot, the
  // session's active display tree) and its element out of the document,
  // and hands it to the caller, who may append it again or destroy it;
  // destroying a detached object frees its element. A detached object must
  // go before its document.
  std::unique_ptr<SDR_DATA_SIGNAL_SET> detach();
  // detach, then destroy.
  void remove();
  // A diagnostic text, kept in the set.
  const char* to_string();

 private:
  friend class SDR_DATA_SIGNAL_WIRE;
  friend class SDR_DATA_TRIGGER;

  // The trigger wires as the condition texts name them: the quoted alias
  // (else name) of trigger wire i is terms8 from at8[i] to at8[i + 1], and
  // its UTF-16 form terms16 from at16[i] to at16[i + 1]; a wire with
  // neither has an empty piece. Writing a level's text then reads these
  // few arrays in order instead of visiting every wire.
  struct TERM_NAMES {
    bool valid = false;
    unsigned long version = 0;  // new with each making, unique among all sets
    std::string terms8;
    std::u16string terms16;
    std::vector<size_t> at8;
    std::vector<size_t> at16;
  };
  // The names, made again after a trigger wire was added or an alias changed.
  const TERM_NAMES& term_names() const;

  void init_map();
  void init_new(const char* name);
  void read_element();
  void read_parts();
  void read_config();
  void read_current_wires(xercesc::DOMElement* dom_input_vec);
  void read_triggers();
  void delete_triggers();
  void convert_old_wires();
  void build_views(bool build_data, bool build_setup);
  void set_default_clock_name();
  void set_port(const char* name, std::unique_ptr<std::string>* field, const char* attribute,
                std::unique_ptr<std::string>* other, const char* other_attribute);
  void write_config(const char* name, const char* value);
  void write_config(const char* name, int value);
  void remove_config(const char* name);
  bool map_wire(SDR_DATA_SIGNAL_WIRE* wire);
  void unmap_alias(SDR_DATA_SIGNAL_WIRE* wire);
  // The wire index's test: key is the wire's name or alias.
  static bool wire_has_key(const SDR_DATA_SIGNAL_WIRE* wire, const char* key, size_t length);

  std::unique_ptr<std::string> m_name;
  std::string m_clock_name;
  POLARITY m_polarity = POSEDGE;
  bool m_trigger_in_enabled = false;
  bool m_trigger_out_enabled = false;
  std::unique_ptr<std::string> m_trigger_in_pin;
  std::unique_ptr<std::string> m_trigger_in_node;
  std::unique_ptr<std::string> m_trigger_out_pin;
  std::unique_ptr<std::string> m_trigger_out_node;
  std::unique_ptr<std::string> m_top_entity;
  int m_sample_depth = 128;
  int m_reserved_data_nodes = 0;
  int m_reserved_trigger_nodes = 0;
  bool m_expanded = true;
  // Every wire under its name and, when different, its alias.
  std::unique_ptr<SDR_WIRE_INDEX> m_wire_map;
  // Some wire's name was found taken (by another wire's name or alias)
  // when the wire was entered: a name may then lead to another wire.
  bool m_name_taken = false;
  std::vector<SDR_DATA_SIGNAL_WIRE*> m_trigger_wires;
  std::vector<SDR_DATA_SIGNAL_WIRE*> m_data_wires;
  // Owns every wire exactly once.
  std::vector<std::unique_ptr<SDR_DATA_SIGNAL_WIRE>> m_owned_wires;
  std::unordered_set<const SDR_DATA_SIGNAL_WIRE*> m_owned_set;
  SDR_DATA_CHILD_LIST<SDR_DATA_TRIGGER> m_triggers;
  SDR_DATA_INSTANCE* m_instance = nullptr;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW> m_data_view;
  std::unique_ptr<SDR_DATA_SIGNAL_VIEW> m_setup_view;
  SDR_KALVOS_RAM_TYPE m_ram_type = SDR_RAM_RAMBASE;
  std::string m_signal_connections;
  bool m_all_connected = true;
  bool m_reading = false;
  std::string m_text;
  mutable TERM_NAMES m_term_names;
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_element = nullptr;
  xercesc::DOMElement* m_dom_clock = nullptr;
  xercesc::DOMElement* m_config_element = nullptr;
  xercesc::DOMElement* m_top_entity_element = nullptr;
  xercesc::DOMElement* m_signal_vec_element = nullptr;
  xercesc::DOMElement* m_trigger_vec_element = nullptr;
  xercesc::DOMElement* m_data_vec_element = nullptr;
  xercesc::DOMElement* m_dom_presentation = nullptr;
};

#endif
