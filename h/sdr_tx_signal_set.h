#ifndef SDR_TX_SIGNAL_SET_H
#define SDR_TX_SIGNAL_SET_H

// The editable copy of one instance's signal-set settings (clock, sample
// depth, reserved node sizes, RAM type, trigger-in/out ports and their links
// to other instances, top entity) with the node list of the data tab. The
// data signal set is written only by commit.

#include <string>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"
#include "sdr_tx_signal_nodes.h"

class SDR_DATA_INSTANCE;
class SDR_DATA_SIGNAL_SET;
class SDR_TX_SESSION;
class SDR_TX_TRIGGER;

class SDR_API SDR_TX_SIGNAL_SET : public SDR_TX_SIGNAL_NODES {
 public:
  // The settings as one record, for undo.
  struct SIGNAL_SET_PROPERTIES {
    std::string clock_source;
    bool trigger_in_enabled = false;
    bool trigger_out_enabled = false;
    std::string trigger_in_node;
    std::string trigger_out_node;
    std::string trigger_in_pin;
    std::string trigger_out_pin;
    std::string top_entity_name;
    int sample_depth = 128;
    int reserved_data_node_size = 0;
    int reserved_trigger_node_size = 0;
    SDR_KALVOS_RAM_TYPE kalvos_ram_type = SDR_RAM_RAMBASE;
  };

  // An empty configuration (init()).
  SDR_TX_SIGNAL_SET(int index, SDR_TX_SESSION* session, SDR_TX_UNDO_MANAGER* undo_manager,
                    SDR_TX_CHANGE_STATUS* change_status, SDR_TX_SCRIPT_RECORDER* recorder);
  // A copy of signal_set (init(signal_set)).
  SDR_TX_SIGNAL_SET(int index, SDR_TX_SESSION* session, SDR_DATA_SIGNAL_SET* signal_set,
                    SDR_TX_UNDO_MANAGER* undo_manager, SDR_TX_CHANGE_STATUS* change_status,
                    SDR_TX_SCRIPT_RECORDER* recorder);
  ~SDR_TX_SIGNAL_SET() override;

  // The data signal set's name, or null without one.
  const char* get_name() const override;

  // Settings: true when the value changed.
  bool set_clock_source(const char* clock_name);
  bool set_trigger_in_enabled(bool enabled);
  bool set_trigger_out_enabled(bool enabled);
  bool set_trigger_in_node(const char* trigger_in_name);
  bool set_trigger_out_node(const char* trigger_out_name);
  bool set_trigger_in_pin(const char* trigger_in_name);
  bool set_trigger_out_pin(const char* trigger_out_name);
  bool set_top_entity_name(const char* entity_name);
  bool set_sample_depth(int depth);
  bool set_reserved_data_node_size(int size);
  bool set_reserved_trigger_node_size(int size);
  bool set_kalvos_ram_type(SDR_KALVOS_RAM_TYPE ram_type);
  // Not undoable.
  void set_clock_source_invalid(bool invalid) { m_clock_source_invalid = invalid; }
  bool set_expanded_status(bool expanded);

  const char* get_clock_source() const { return m_clock_source.c_str(); }
  bool is_trigger_in_enabled() const { return m_trigger_in_enabled; }
  bool is_trigger_out_enabled() const { return m_trigger_out_enabled; }
  // The node if not empty, else the pin if not empty, else null.
  const char* get_trigger_in_source() const;
  const char* get_trigger_out_source() const;
  const char* get_top_entity_name() const { return m_top_entity_name.c_str(); }
  int get_sample_depth() const { return m_sample_depth; }
  int get_reserved_data_node_size() const { return m_reserved_data_node_size; }
  int get_reserved_trigger_node_size() const { return m_reserved_trigger_node_size; }
  SDR_KALVOS_RAM_TYPE get_kalvos_ram_type() const { return m_kalvos_ram_type; }
  bool is_clock_source_invalid() const { return m_clock_source_invalid; }
  bool is_expanded() const;
  SDR_DATA_SIGNAL_SET* get_data_signal_set() const { return m_data_signal_set; }

  // Node-list operations of the data tab.
  using SDR_TX_SIGNAL_NODES::append_node;
  using SDR_TX_SIGNAL_NODES::delete_node;
  bool append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                   SDR_DATA_WIRE_TAP_MODE tap_mode) override;
  bool delete_node(const char* name) override;
  int delete_node(int first, int last) override;
  int copy_before_node(int first, int last, int before, bool into_group) override;
  bool is_node_deletable(int index) override;
  bool set_node_name(int index, const char* name) override;
  bool set_node_alias(int index, const char* alias) override;

  // Undo support.
  void save_properties(SIGNAL_SET_PROPERTIES* properties);
  bool restore_properties(const SIGNAL_SET_PROPERTIES* properties);

  void set_instance_index(int index);
  void check_compilation_type(bool* is_full, bool* is_pinwatch);
  bool init();
  bool init(SDR_DATA_SIGNAL_SET* signal_set);
  bool commit(SDR_DATA_INSTANCE* data_instance, bool flag);

 private:
  // Links to the ports of other instances; the flags say whether the
  // other port's enable flag and its name are set.
  void link_trigger_in_to_out(bool set_enable, bool set_name);
  void link_trigger_out_to_in(bool set_enable, bool set_name);
  void unlink_trigger_out_from_in(bool set_enable, bool set_name);
  void unlink_trigger_in_from_out(bool set_enable, bool set_name);
  // The signal set of the instance a port node names, or null.
  SDR_TX_SIGNAL_SET* find_linked(const std::string& node, const char* suffix) const;
  // The common frame of the undoable setters.
  template <class APPLY>
  bool change_setting(APPLY apply);
  std::string auto_port_name(const char* base) const;
  // Writes the settings that differ from the data signal set.
  void write_settings(SDR_DATA_SIGNAL_SET* d);
  // The instance's setup tab, or null without a session.
  SDR_TX_TRIGGER* get_tx_trigger() const;
  // Lets go of the data signal set: both tabs leave its views; when it is
  // removed here or destroyed by the caller, the trigger forgets a data
  // trigger of it.
  void forget_signal_set(SDR_TX_TRIGGER* trigger, bool remove, bool destroyed);

  SDR_DATA_SIGNAL_SET* m_data_signal_set = nullptr;
  std::string m_clock_source;
  // The clock edge of the data signal set, kept for a set made at commit.
  bool m_clock_negedge = false;
  bool m_clock_source_invalid = false;
  bool m_trigger_in_enabled = false;
  bool m_trigger_out_enabled = false;
  std::string m_trigger_in_node;
  std::string m_trigger_out_node;
  std::string m_trigger_in_pin;
  std::string m_trigger_out_pin;
  std::string m_top_entity_name;
  int m_sample_depth = 128;
  int m_reserved_data_node_size = 0;
  int m_reserved_trigger_node_size = 0;
  SDR_TX_SESSION* m_tx_session;
  SDR_KALVOS_RAM_TYPE m_kalvos_ram_type = SDR_RAM_RAMBASE;
};

#endif
