#ifndef SDR_TX_TRIGGER_H
#define SDR_TX_TRIGGER_H

// The editable copy of one instance's trigger: the node list of the setup
// tab, the trigger properties and one configuration record per trigger
// level. The data trigger is written only by commit.

#include <memory>
#include <string>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"
#include "sdr_tx_signal_nodes.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_TRIGGER;
class SDR_TX_SESSION;
class SDR_TX_TREE_OBJECT;
class ATG_ADVANCED_TRIGGER_FACTORY;
class ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP;

class SDR_API SDR_TX_TRIGGER : public SDR_TX_SIGNAL_NODES {
 public:
  // One trigger level. Copies share the tree object and the factory
  // pointers; the trigger owns them through its records.
  struct TRIGGER_LEVEL_CONFIGURATION {
    std::vector<int> conditions;  // SDR_DATA_TRIGGER_CONDITION by trigger wire index
    SDR_TX_TREE_OBJECT* m_advanced_condition = nullptr;
    std::string expression;
    ATG_ADVANCED_TRIGGER_FACTORY* factory = nullptr;
    std::string crc_text;
    bool modified = false;
    bool compile = false;
    bool m_is_basic_condition = true;
    bool enabled = true;
  };

  // The most levels a trigger of the analyzer can hold.
  static constexpr int MAX_TRIGGER_LEVEL = 10;

  struct TRIGGER_PROPERTIES {
    SDR_DATA_TRIGGER_POSITION position = SDR_TPOS_PRE;
    SDR_DATA_TRIGGER_CONDITION trigger_in_condition = SDR_TCOND_DONT_CARE;
    SDR_DATA_TRIGGER_CONDITION trigger_out_condition = SDR_TCOND_ACTIVE_HIGH;
    int segment_size = 1;
    int trigger_level = 1;
    SDR_DATA_TRIGGER_TYPE trigger_type = SDR_TTYPE_CIRCULAR;
  };

  // An empty trigger (init()).
  SDR_TX_TRIGGER(int index, SDR_TX_SESSION* session, SDR_TX_UNDO_MANAGER* undo_manager,
                 SDR_TX_CHANGE_STATUS* change_status, SDR_TX_TREE_OBJECT* tree_root,
                 SDR_TX_SCRIPT_RECORDER* recorder);
  // A copy of trigger (init(trigger)).
  SDR_TX_TRIGGER(int index, SDR_TX_SESSION* session, SDR_DATA_TRIGGER* trigger,
                 SDR_TX_UNDO_MANAGER* undo_manager, SDR_TX_CHANGE_STATUS* change_status,
                 SDR_TX_TREE_OBJECT* tree_root, SDR_TX_SCRIPT_RECORDER* recorder);
  ~SDR_TX_TRIGGER() override;

  SDR_DATA_TRIGGER* get_data_trigger() const { return m_data_trigger; }
  // The data trigger's name, or null without one.
  const char* get_name() const override;

  // Edits.
  bool set_trigger_condition(int node_index, int level_index, SDR_DATA_TRIGGER_CONDITION condition);
  bool set_trigger_level_basic_condition(int level_index, bool basic);
  bool set_trigger_level_enabled(int level_index, bool enabled);
  bool set_trigger_in_condition(SDR_DATA_TRIGGER_CONDITION condition);
  bool set_trigger_out_condition(SDR_DATA_TRIGGER_CONDITION condition);
  bool set_trigger_position(SDR_DATA_TRIGGER_POSITION position);
  bool set_segment_size(int size);
  bool set_trigger_type(SDR_DATA_TRIGGER_TYPE type);
  // level_count from 1 to MAX_TRIGGER_LEVEL.
  bool set_trigger_level(int level_count);
  // The front end's notice that a level's advanced tree changed; with
  // check_compile the tree's expression is compiled again. Not recorded.
  bool set_trigger_level_adv_condition_modified(int level_index, bool modified, bool check_compile);

  // Undo support.
  void save_properties(int level_index, TRIGGER_LEVEL_CONFIGURATION* record);
  bool restore_properties(int level_index, const TRIGGER_LEVEL_CONFIGURATION* record);
  void save_properties(TRIGGER_PROPERTIES* properties);
  bool restore_properties(const TRIGGER_PROPERTIES* properties);

  // Queries.
  int get_trigger_level() const { return m_trigger_level; }
  bool is_trigger_level_basic_condition(int level_index) const;
  bool is_trigger_level_enabled(int level_index) const;
  SDR_TX_TREE_OBJECT* get_trigger_adv_condition_root(int level_index) const;
  ATG_ADVANCED_TRIGGER_FACTORY* get_advanced_trigger_condition_factory(int level_index) const;
  unsigned long get_adv_trigger_level_lcell_usage(int level_index) const;
  // 9 for a row that is out of range or no trigger node, or a level at or
  // beyond the level count; "dont_care" for a group row or a negative level.
  SDR_DATA_TRIGGER_CONDITION get_trigger_condition(int node_index, int level_index);
  // The expression last obtained from the level's tree, and its CRC text.
  const char* get_trigger_adv_expression(int level_index) const;
  const char* get_trigger_adv_crc_text(int level_index) const;
  SDR_DATA_TRIGGER_CONDITION get_trigger_in_condition() const { return m_trigger_in_condition; }
  SDR_DATA_TRIGGER_CONDITION get_trigger_out_condition() const { return m_trigger_out_condition; }
  SDR_DATA_TRIGGER_POSITION get_trigger_position() const { return m_trigger_position; }
  int get_segment_size() const { return m_segment_size; }
  SDR_DATA_TRIGGER_TYPE get_trigger_type() const { return m_trigger_type; }
  bool is_segment_enabled() const { return m_trigger_type == SDR_TTYPE_SEGMENTED; }
  unsigned long get_commited_crc_value() const;
  // Nodes of the list: data count and trigger count (group rows excluded);
  // queries, not recorded.
  int get_data_wire_width();
  int get_trigger_wire_width();
  int get_trigger_wire_width_non_inc_rted() const;
  bool is_expanded() const;
  bool set_expanded_status(bool expanded);
  void set_crc_value_inheritable(bool inheritable) { m_crc_value_inheritable = inheritable; }
  bool is_valid_advanced_trigger_condition_input_node(const char* name) const;
  // Whether the edits since the commit need a full or a pin-watch
  // compilation (both false: none). Not recorded.
  void check_compilation_type(bool* is_full, bool* is_pinwatch);
  bool is_signal_compatible(SDR_DATA_SIGNAL_SET* signal_set) const;

  // Node-list operations of the setup tab.
  using SDR_TX_SIGNAL_NODES::append_node;
  using SDR_TX_SIGNAL_NODES::delete_node;
  bool set_node_name(int index, const char* name) override;
  bool set_group_node_name(int index, const char* name) override;
  bool set_node_alias(int index, const char* alias) override;
  bool is_node_deletable(int index) override;
  bool delete_node(const char* name) override;
  int delete_node(int first, int last) override;
  bool append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                   SDR_DATA_WIRE_TAP_MODE tap_mode) override;
  bool ungroup_node(int index) override;
  bool group_node(int first, int last, NODE_TYPE* group) override;
  int copy_before_node(int first, int last, int before, bool into_group) override;
  void rebuild_uniq_name_set() override;
  bool rename_node_name(const char* old_name, const char* new_name);
  bool rename_node_alias(const char* old_alias, const char* new_alias);
  // A wire now goes by new_name where it went by old_name (its alias
  // changed): the leaves of the level trees that name old_name, and the
  // level expressions that name it, name new_name; nothing else changes.
  // Renaming back right after gives every tree and text back as it was.
  // set_node_alias calls it and records it for undo. True when something
  // changed.
  bool rename_advanced_signal(const char* old_name, const char* new_name);
  void set_instance_index(int index);
  void recount_data_trigger_width();
  void sync_upon_capture_type_change();

  bool init();
  bool init(SDR_DATA_SIGNAL_VIEW* setup_view);
  bool init(SDR_DATA_TRIGGER* trigger);
  // signal_set null: forget the data trigger. False only when no data
  // trigger could be made.
  bool commit(SDR_DATA_SIGNAL_SET* signal_set, bool force);
  bool commit_signal_set(SDR_DATA_SIGNAL_SET* signal_set);

 private:
  void clear_level_records();
  // Appends records up to count, each with a new tree under the root.
  void grow_level_records(int count);
  TRIGGER_LEVEL_CONFIGURATION* level_record(int level_index);
  const TRIGGER_LEVEL_CONFIGURATION* level_record(int level_index) const;
  // The level's expression from its tree; empty when there is none.
  std::string level_equation(int level_index);
  // A factory compiled from text for the level, or null.
  ATG_ADVANCED_TRIGGER_FACTORY* compile_level(int level_index, const std::string& text,
                                              const char* trigger_name);
  bool is_hdl_node() const;
  // The node counts of recount_data_trigger_width, for the queries.
  void count_widths();
  // The unique-name set, rebuilt first when a replay left it stale.
  SDR_TX_NAME_SET& uniq_names();
  void add_names(const NODE_TYPE* node);
  void remove_names(const NODE_TYPE* node);
  void note_trigger_wire_index(const NODE_TYPE* node);
  // Commit steps.
  SDR_DATA_TRIGGER* make_data_trigger(SDR_DATA_SIGNAL_SET* signal_set, bool force, bool* created);
  void write_levels(SDR_DATA_SIGNAL_SET* signal_set);
  void write_properties(bool all);
  void write_trees();
  // The common frame of the property setters.
  template <class APPLY>
  bool change_properties(APPLY apply);
  template <class APPLY>
  bool change_level(int level_index, APPLY apply);

  SDR_TX_SESSION* m_tx_session;
  SDR_TX_TREE_OBJECT* m_tree_root;
  SDR_DATA_TRIGGER* m_data_trigger = nullptr;
  std::unique_ptr<ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP> m_name_index_map;
  int m_trigger_level = 1;
  std::vector<TRIGGER_LEVEL_CONFIGURATION> m_trigger_level_config_vec;
  SDR_DATA_TRIGGER_POSITION m_trigger_position = SDR_TPOS_PRE;
  SDR_DATA_TRIGGER_CONDITION m_trigger_in_condition = SDR_TCOND_DONT_CARE;
  SDR_DATA_TRIGGER_CONDITION m_trigger_out_condition = SDR_TCOND_ACTIVE_HIGH;
  int m_segment_size = 1;
  SDR_DATA_TRIGGER_TYPE m_trigger_type = SDR_TTYPE_CIRCULAR;
  int m_data_node_count = 0;
  int m_trigger_node_count = 0;
  int m_trigger_wire_index_max = 0;
  SDR_TX_NAME_SET m_uniq_node_set;
  // Set while an undo or redo replays: the set is rebuilt once, at its
  // next use, rather than after every atomic action.
  bool m_uniq_node_set_stale = false;
  bool m_rebuild = true;
  bool m_signal_set_committed = false;
  unsigned long m_committed_crc = 0;
  bool m_crc_value_inheritable = false;
  // Set while the data tab renames through rename_node_name or
  // rename_node_alias: it renames its own rows then.
  bool m_renaming_for_other = false;
  // The renames of rename_advanced_signal that can be given back exactly,
  // newest last.
  struct SIGNAL_RENAME {
    struct LEAF {
      int level;
      std::vector<int> path;  // child indexes from the level's tree
    };
    struct TEXT {
      int level;
      std::string before;
      std::string after;
    };
    std::string from;
    std::string to;
    std::vector<LEAF> leaves;
    std::vector<TEXT> texts;
  };
  std::vector<SIGNAL_RENAME> m_signal_renames;
};

#endif
