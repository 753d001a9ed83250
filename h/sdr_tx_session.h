#ifndef SDR_TX_SESSION_H
#define SDR_TX_SESSION_H

// The object through which a front end edits one configuration file. It
// opens or creates a data session through the repository manager, builds
// one group of transaction objects per analyzer instance (instance, signal
// set with the data tab, trigger with the setup tab), forwards edits to
// them, and writes the working copies into the data model on commit. It
// owns the session's script recorder and the front end's tree object.

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"

class SDR_DATA_MANAGER;
class SDR_DATA_SESSION;
class SDR_DATA_INSTANCE;
class SDR_DATA_LOG;
class SDR_TX_INSTANCE;
class SDR_TX_SIGNAL_SET;
class SDR_TX_TRIGGER;
class SDR_TX_TREE_OBJECT;
class SDR_TX_SCRIPT_RECORDER;

class SDR_API SDR_TX_SESSION {
 public:
  // The transaction objects of one instance.
  struct DATA_GROUP {
    DATA_GROUP();
    ~DATA_GROUP();
    std::unique_ptr<SDR_TX_INSTANCE> m_tx_instance;
    std::unique_ptr<SDR_TX_SIGNAL_SET> m_tx_signal_set;
    std::unique_ptr<SDR_TX_TRIGGER> m_tx_trigger;
    SDR_DATA_LOG* m_data_log = nullptr;  // the active log, not owned
    std::string m_target_name;           // scratch of get_all_available_trigger_out_target_at
  };

  // Takes ownership of tree_object (may be null).
  explicit SDR_TX_SESSION(SDR_TX_TREE_OBJECT* tree_object);
  virtual ~SDR_TX_SESSION();

  SDR_TX_SESSION(const SDR_TX_SESSION&) = delete;
  SDR_TX_SESSION& operator=(const SDR_TX_SESSION&) = delete;

  // Lifecycle.
  bool create_session(const char* name);
  // A path with no file behind it opens a new session of that name; a file
  // that cannot be loaded gives false.
  bool open_session(const char* path);
  bool open_session(SDR_DATA_SESSION* data_session);
  bool commit_session();
  // path null: the session's own file. False when the commit or the write
  // fails; the session then stays modified.
  bool save_session(const char* path);
  bool close_session();
  void disable_script_recording();
  bool is_session_opened() const { return m_data_session != nullptr; }
  SDR_DATA_SESSION* get_data_session() const { return m_data_session; }
  SDR_TX_SCRIPT_RECORDER* get_script_recorder() const { return m_script_recorder.get(); }
  SDR_TX_TREE_OBJECT* get_tree_object() const { return m_tx_tree_object.get(); }

  // Instances and logs; an index out of range (negative included) gives
  // null, false or -1.
  int get_num_instances() const { return static_cast<int>(m_data_group.size()); }
  SDR_TX_INSTANCE* get_instance_at(int index) const;
  SDR_TX_SIGNAL_SET* get_signal_set_at(int index) const;
  SDR_TX_TRIGGER* get_trigger_at(int index) const;
  SDR_DATA_LOG* get_log_at(int index) const;
  // -1 for a null name; the instance count when no instance has the name.
  int find_instance_index(const char* name) const;
  int create_trazio_instance(const char* name);
  bool remove_trazio_instance(int index);
  SDR_DATA_LOG* create_new_log(int index);
  void remove_current_log(int index);
  bool save_to_log(int index);
  bool set_active_log(int index, SDR_DATA_LOG* log);
  bool set_active(int index, const char* signal_set, const char* trigger, const char* log);
  bool remove(int index, const char* signal_set, const char* trigger, const char* log);
  void get_all_available_trigger_out_target_at(int index, std::vector<const char*>* trig_out_vec);

  // Queries over one instance.
  void check_instance_compilation_type_at(int index, bool* is_full, bool* is_pinwatch);
  SDR_KALVOS_RAM_TYPE get_instance_ram_type_at(int index) const;
  unsigned long get_instance_ram_bits_usage_at(int index) const;
  unsigned long get_instance_estimated_lcell_count_at(int index) const;

  // Session properties, written to the data session at once.
  void set_jtag_chain_name(const char* name);
  void set_jtag_device_name(const char* name);
  void set_bix_file_name(const char* name);
  void set_gui_logging(bool enabled);
  bool set_global_data(const char* name, int value);
  bool set_global_data(const char* name, const int* values, int count);
  const char* get_jtag_chain_name() const;
  const char* get_jtag_device_name() const;
  const char* get_bix_file_name() const;
  bool is_gui_logging_enabled() const;
  int get_global_data(const char* name) const;
  int get_global_data(const char* name, int* out) const;
  int get_embedded_bix_file_count() const;
  const char* get_embedded_bix_filename_at(int index) const;
  bool rename_embedded_bix_filename_at(int index, const char* new_embedded_name);
  bool set_embedded_bix_inst_id_crc_at(int index, const char* inst_id_crc_str);
  const char* get_embedded_bix_inst_id_crc_at(int index) const;
  bool remove_embedded_bix_at(int index);
  bool embed_bix_file(const char* filename, const char* embedded_name);
  bool extract_bix_file(int index, const char* filename);

  // Modification state.
  bool is_modified() const;
  void set_undoable_modified_flag();
  void set_log_change_flag();

 private:
  DATA_GROUP* group_at(int index) const;
  // The common part of both open_session forms; path goes to the script.
  bool open_data_session(SDR_DATA_SESSION* data_session, const char* path);
  bool commit_instance_at(int index, bool flag);
  // Builds the groups over the data session's instances.
  void build_groups();
  std::unique_ptr<DATA_GROUP> make_group(int index, bool from_data);
  void link_group(DATA_GROUP* group);
  // Rebuilds m_group_index after the groups changed.
  void index_groups();
  // The instance's own logic-cell estimate, without the hub share.
  unsigned long estimate_instance_lcells(int index) const;
  // Stores a session property text; true when it changed.
  bool store_text(const char* (SDR_DATA_SESSION::*get)() const, void (SDR_DATA_SESSION::*set)(const char*),
                  const char* value);

  std::vector<std::unique_ptr<DATA_GROUP>> m_data_group;
  // The group index of each data instance, for look-ups by name.
  std::unordered_map<const SDR_DATA_INSTANCE*, int> m_group_index;
  bool m_undoable_modified = false;
  SDR_DATA_MANAGER* m_data_manager = nullptr;
  SDR_DATA_SESSION* m_data_session = nullptr;
  std::unique_ptr<SDR_TX_TREE_OBJECT> m_tx_tree_object;
  std::unique_ptr<SDR_TX_SCRIPT_RECORDER> m_script_recorder;
};

#endif
