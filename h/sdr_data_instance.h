#ifndef SDR_DATA_INSTANCE_H
#define SDR_DATA_INSTANCE_H

// One logic-analyzer instance of a session, bound to an "instance" element.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "sdr_data_name_map_export.h"
#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_DATA_SESSION;
class SDR_DATA_SIGNAL_SET;
class SDR_NAMED_VALUES;

// Node identity of an instance, as the hardware reports it.
struct SDR_DATA_INSTANCE_INFO {
  unsigned char instance_index = 0;      // "instance_id"
  int mfg_id = 110;                      // "mfg_id"
  unsigned char node_id = 0;             // "node_id"
  unsigned char version = 255;           // "version"; 255 means not defined
  unsigned char inferred_version = 255;  // never stored; 255 means not defined
};

class SDR_API SDR_DATA_INSTANCE {
 public:
  // A new "instance" element named name, with empty "node_ip_info" and
  // "position_info" children. The session registers it.
  SDR_DATA_INSTANCE(xercesc::DOMDocument* document, const char* name);
  // Reads an existing "instance" element.
  SDR_DATA_INSTANCE(xercesc::DOMDocument* document, xercesc::DOMElement* element, SDR_DATA_SESSION* session);
  virtual ~SDR_DATA_INSTANCE();

  SDR_DATA_INSTANCE(const SDR_DATA_INSTANCE&) = delete;
  SDR_DATA_INSTANCE& operator=(const SDR_DATA_INSTANCE&) = delete;

  // The name (null if none). When identifier is given it receives the name
  // with every character that is not a letter or digit replaced by '_'.
  const char* get_name(std::string* identifier = nullptr) const;
  // Renames within the session's name map; false (nothing changed) when the
  // name is taken.
  bool set_name(const char* name);
  const char* get_entity_name() const;
  void set_entity_name(const char* entity_name);
  const char* get_source_filename() const;
  void set_source_filename(const char* source_filename);
  bool is_auto_node() const { return m_auto_node; }
  void set_auto_node(bool auto_node);
  bool is_incr_cmp_mode() const { return m_incr_cmp_mode; }
  void set_incr_cmp_mode(bool incremental);
  bool is_expanded() const { return m_expanded; }
  bool set_expanded_status(bool expanded);

  SDR_DATA_SESSION* get_session() const { return m_session; }
  void set_session(SDR_DATA_SESSION* session) { m_session = session; }
  xercesc::DOMElement* get_dom_node() const { return m_element; }
  xercesc::DOMDocument* get_dom_document() const { return m_document; }

  SDR_DATA_INSTANCE_INFO get_node_info() const { return m_node_info; }
  void set_node_info(SDR_DATA_INSTANCE_INFO info);
  void set_inferred_node_version(unsigned char version);
  bool is_trazio_node() const;
  bool is_trazio_hdl_node() const;
  static int get_current_version() { return 3; }
  bool is_version_not_defined() const { return m_node_info.version == 255; }
  bool is_inferred_version_defined() const { return m_node_info.inferred_version != 255; }
  bool is_current_version() const;
  bool update_to_current_version();

  // Signal sets.
  SDR_DATA_SIGNAL_SET* create_signal_set(const char* name, bool global);
  bool append(SDR_DATA_SIGNAL_SET* signal_set, bool attach_element);
  int get_num_signal_sets() const { return m_signal_sets.size(); }
  SDR_DATA_SIGNAL_SET* get_signal_set_at(int index) const;
  SDR_DATA_SIGNAL_SET* find_signal_set(const char* name) const;
  SDR_DATA_SIGNAL_SET* get_last_signal_set() const;
  SDR_DATA_SIGNAL_SET* get_global_signal_set() const { return m_signal_sets.get_global(); }
  void set_global_signal_set(SDR_DATA_SIGNAL_SET* signal_set) { m_signal_sets.set_global(signal_set); }
  bool insert_into_name_map(SDR_DATA_SIGNAL_SET* signal_set);
  void delete_from_name_map(SDR_DATA_SIGNAL_SET* signal_set);
  void delete_from_vector(SDR_DATA_SIGNAL_SET* signal_set);

  // Takes the instance out of its session (list, name map, active display
  // tree) and its element out of the document, and hands it to the caller,
  // who may append it again or destroy it; destroying a detached object
  // frees its element. A detached object must go before its document.
  std::unique_ptr<SDR_DATA_INSTANCE> detach();
  // detach, then destroy.
  void remove();

  // Position data.
  bool set_position_data(const char* name, int value, bool table_only);
  bool set_position_data(const char* name, const int* values, int count, bool table_only);
  int get_position_data(const char* name) const;
  int get_position_data(const char* name, int* out) const;
  int get_position_data_count(const char* name) const;
  const std::map<std::string, int>& get_single_position_data() const;
  const std::map<std::string, std::vector<int>>& get_multi_position_data() const;

 private:
  void init_defaults();
  void read_element();

  std::unique_ptr<std::string> m_name;
  std::unique_ptr<std::string> m_entity_name;
  std::unique_ptr<std::string> m_source_filename;
  bool m_expanded = true;
  bool m_auto_node = false;
  bool m_incr_cmp_mode = false;
  SDR_DATA_SESSION* m_session = nullptr;
  SDR_DATA_INSTANCE_INFO m_node_info;
  SDR_DATA_CHILD_LIST<SDR_DATA_SIGNAL_SET> m_signal_sets;
  std::unique_ptr<SDR_NAMED_VALUES> m_position;
  xercesc::DOMDocument* m_document = nullptr;
  xercesc::DOMElement* m_element = nullptr;
  xercesc::DOMElement* m_node_info_element = nullptr;
  xercesc::DOMElement* m_position_element = nullptr;
};

#endif
