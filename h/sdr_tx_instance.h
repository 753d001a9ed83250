#ifndef SDR_TX_INSTANCE_H
#define SDR_TX_INSTANCE_H

// The transaction-layer face of one analyzer instance: its undo manager and
// change status, the action brackets, undo and redo, and the few edits made
// on the instance itself.

#include <memory>
#include <string>

#include "sdr_data_instance.h"
#include "sdr_export.h"

class SDR_TX_SESSION;
class SDR_TX_SCRIPT_RECORDER;
class SDR_TX_UNDO_MANAGER;

// Which kinds of change an instance has had since its working copy last
// matched the committed state. A plain copyable record.
class SDR_API SDR_TX_CHANGE_STATUS {
 public:
  SDR_TX_CHANGE_STATUS() { reset_all(); }

  bool m_incr_cmp_mode_changed;        // 0
  bool m_node_changed_full;            // 1
  bool m_node_changed_pinwatch;        // 2
  bool m_debug_port_changed_full;      // 3
  bool m_debug_port_changed_pinwatch;  // 4
  bool m_signal_set_changed;           // 5
  bool m_trigger_level_changed;        // 6
  bool m_trigger_condition_changed;    // 7
  bool m_adv_trigger_changed_full;     // 8
  bool m_adv_trigger_changed;          // 9
  bool m_trigger_io_changed;           // 10
  bool m_presentation_changed;         // 11

  static const int FLAG_COUNT = 12;

  void reset_all();
  bool is_modified() const;
  bool is_full_compilation() const;
  bool is_pinwatch_compilation() const;
  bool is_signal_set_changed() const;
  bool is_trigger_changed() const;

  // Flag i in the order above; out of range reads false and writes nothing.
  bool get_flag(int i) const;
  void set_flag(int i, bool value);
  // The flags as bits, flag i at bit i, and back.
  unsigned get_bits() const;
  void set_bits(unsigned bits);
  // Sets every flag that other has set.
  void merge(const SDR_TX_CHANGE_STATUS& other);
  bool operator==(const SDR_TX_CHANGE_STATUS& other) const;
  bool operator!=(const SDR_TX_CHANGE_STATUS& other) const { return !(*this == other); }
};

class SDR_API SDR_TX_INSTANCE {
 public:
  SDR_TX_INSTANCE(int index, SDR_TX_SESSION* session, SDR_DATA_INSTANCE* data_instance,
                  SDR_TX_SCRIPT_RECORDER* recorder);
  virtual ~SDR_TX_INSTANCE();

  SDR_TX_INSTANCE(const SDR_TX_INSTANCE&) = delete;
  SDR_TX_INSTANCE& operator=(const SDR_TX_INSTANCE&) = delete;

  // Action brackets and history.
  void begin_action();
  void end_action();
  bool undo();
  bool redo();
  bool is_undo_available() const;
  bool is_redo_available() const;
  void set_max_undo_steps(int steps);
  int get_max_undo_steps() const;

  // Instance edits.
  void set_incr_cmp_mode(bool incremental);
  bool is_incr_cmp_mode() const;
  bool is_current_version() const;
  bool is_trazio_instance() const;
  const char* get_name() const;
  SDR_DATA_INSTANCE_INFO get_node_info() const;
  void update_to_current_version();
  bool rename(const char* name);
  void set_setup_tab_selected(bool selected);
  bool is_setup_tab_selected() const { return m_setup_tab_selected; }
  bool set_position_data(const char* name, int value);
  bool set_position_data(const char* name, const int* values, int count);
  int get_position_data(const char* name) const;
  int get_position_data(const char* name, int* out) const;
  bool set_expanded_status(bool expanded);
  bool is_expanded() const;

  // Change-status answers.
  bool is_modified() const;
  bool is_signal_set_modified() const;
  bool is_full_compilation() const;
  bool is_pinwatch_compilation() const;
  bool is_trigger_modified() const;

  int get_instance_index() const { return m_instance_index; }
  void set_instance_index(int index) { m_instance_index = index; }
  SDR_DATA_INSTANCE* get_data_instance() const { return m_data_instance; }
  SDR_TX_UNDO_MANAGER* get_undo_manager() const { return m_tx_undo_manager.get(); }
  SDR_TX_CHANGE_STATUS* get_change_status() const { return m_tx_change_status.get(); }
  SDR_TX_SESSION* get_session() const { return m_tx_session; }

 private:
  friend class SDR_TX_SESSION;
  // Nothing to write: the instance's edits go to the data instance at once.
  bool commit();

  // Declared first: destroyed after the undo manager, which points to it.
  std::unique_ptr<SDR_TX_CHANGE_STATUS> m_tx_change_status;
  std::unique_ptr<SDR_TX_UNDO_MANAGER> m_tx_undo_manager;
  SDR_TX_SESSION* m_tx_session;
  SDR_TX_SCRIPT_RECORDER* m_script_recorder;
  int m_instance_index;
  SDR_DATA_INSTANCE* m_data_instance;
  bool m_setup_tab_selected = true;
};

#endif
