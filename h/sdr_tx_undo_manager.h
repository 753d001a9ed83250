#ifndef SDR_TX_UNDO_MANAGER_H
#define SDR_TX_UNDO_MANAGER_H

// Per-instance undo history. A user-level action (SDR_TX_UNDO_ACTION) is
// everything done between begin_action and end_action; it is made of atomic
// actions, one per elementary change. Undo and redo replay the atomic
// actions of one user-level action backwards or forwards and put back the
// instance's change flags.
//
// Where the code lives: the manager, SDR_TX_UNDO_ACTION and the atomic base
// are in sdr_tx_undo_manager.cpp. Each atomic action's undo and redo bodies
// live next to the class whose operations they call: the node-list actions
// (MOVE, COPY, GROUP, UNGROUP, DELETE, APPEND, SET_NODE) in
// sdr_tx_signal_nodes_undo.cpp, SET_SIGNALSET in sdr_tx_signal_set.cpp,
// SET_COND, SET_TRIGGER_LEVEL and SET_TRIGGER in sdr_tx_trigger_commit.cpp,
// SET_INSTANCE in sdr_tx_instance.cpp.
//
// Change flags and the saved position. Each action knows the flags it
// raised itself (get_own_change_status). The session tells the manager when
// the working copy was committed (set_clean); after an undo or redo the live
// flags become the union of the own flags of the actions between the
// committed position and the current one, plus what the commit left set.
// So a save, then an undo of an earlier action, still commits the undone
// change. When the committed position is gone (trimmed from the history,
// dropped with a redo branch, or a commit in the middle of an open action)
// the flags of the action's start or end are used, plus the action's own.

#include <array>
#include <deque>
#include <memory>
#include <vector>

#include "sdr_export.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"

class SDR_API SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_ATOMIC() = default;
  virtual ~SDR_TX_UNDO_ACTION_ATOMIC();
  virtual bool undo() = 0;
  virtual bool redo() = 0;
  // Sets in flags the change flags that this kind of change raises.
  virtual void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const = 0;

  SDR_TX_UNDO_ACTION_ATOMIC(const SDR_TX_UNDO_ACTION_ATOMIC&) = delete;
  SDR_TX_UNDO_ACTION_ATOMIC& operator=(const SDR_TX_UNDO_ACTION_ATOMIC&) = delete;
};

using SDR_TX_NODE = SDR_TX_SIGNAL_NODES::NODE_TYPE;

class SDR_API SDR_TX_UNDO_ACTION_MOVE : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_MOVE(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before, bool move_flag,
                          bool group_flag);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;
  // The display types the move changed, by row index before the move, so
  // that undo puts them back exactly.
  void set_display_types(SDR_TX_SIGNAL_NODES::DISPLAY_TYPES types) { m_types = std::move(types); }

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_first, m_last, m_before;
  bool m_move_flag, m_group_flag;
  SDR_TX_SIGNAL_NODES::DISPLAY_TYPES m_types;
};

class SDR_API SDR_TX_UNDO_ACTION_COPY : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_COPY(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before, bool copy_flag,
                          int end);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_first, m_last, m_before;
  bool m_copy_flag;
  int m_end;
};

class SDR_API SDR_TX_UNDO_ACTION_GROUP : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  // Takes ownership of group.
  SDR_TX_UNDO_ACTION_GROUP(SDR_TX_SIGNAL_NODES* nodes, int first, int last, SDR_TX_NODE* group);
  ~SDR_TX_UNDO_ACTION_GROUP() override;
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_first, m_last;
  std::unique_ptr<SDR_TX_NODE> m_group;
};

class SDR_API SDR_TX_UNDO_ACTION_UNGROUP : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  // Takes ownership of group.
  SDR_TX_UNDO_ACTION_UNGROUP(SDR_TX_SIGNAL_NODES* nodes, int first, int last, SDR_TX_NODE* group);
  ~SDR_TX_UNDO_ACTION_UNGROUP() override;
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_first, m_last;
  std::unique_ptr<SDR_TX_NODE> m_group;
};

class SDR_API SDR_TX_UNDO_ACTION_DELETE : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  // Takes ownership of the deleted rows.
  SDR_TX_UNDO_ACTION_DELETE(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                            SDR_TX_SIGNAL_NODES::NODE_VEC deleted);
  ~SDR_TX_UNDO_ACTION_DELETE() override;
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_first, m_last;
  SDR_TX_SIGNAL_NODES::NODE_VEC m_deleted;
};

class SDR_API SDR_TX_UNDO_ACTION_APPEND : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  // row is the row just appended at index (not owned). While the append
  // stands the row lives in the list only; undo takes it out and keeps it
  // here, redo puts it back, so that neither copies a row. A group row is
  // kept as a copy (undo leaves it in the list).
  SDR_TX_UNDO_ACTION_APPEND(SDR_TX_SIGNAL_NODES* nodes, int index, const SDR_TX_NODE* row);
  ~SDR_TX_UNDO_ACTION_APPEND() override;
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_index;
  std::unique_ptr<SDR_TX_NODE> m_node;  // the row while undone; a group row's copy
  // What the row held when appended, of what commits change on their own.
  SDR_DATA_SIGNAL_VIEW_NODE* m_view_node;
  int m_data_wire_index;
  int m_trigger_wire_index;
  SDR_DATA_WIRE_TAP_MODE m_tap_mode;
  bool m_group;
  bool m_invalid;
};

class SDR_API SDR_TX_UNDO_ACTION_SET_NODE : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  // Takes ownership of both copies.
  SDR_TX_UNDO_ACTION_SET_NODE(SDR_TX_SIGNAL_NODES* nodes, int index, SDR_TX_NODE* old_node,
                              SDR_TX_NODE* new_node);
  ~SDR_TX_UNDO_ACTION_SET_NODE() override;
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_NODES* m_nodes;
  int m_index;
  std::unique_ptr<SDR_TX_NODE> m_old;
  std::unique_ptr<SDR_TX_NODE> m_new;
};

class SDR_API SDR_TX_UNDO_ACTION_SET_COND : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_SET_COND(SDR_TX_TRIGGER* trigger, int node_index, int level_index,
                              SDR_DATA_TRIGGER_CONDITION old_condition,
                              SDR_DATA_TRIGGER_CONDITION new_condition);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_TRIGGER* m_trigger;
  int m_node_index, m_level_index;
  SDR_DATA_TRIGGER_CONDITION m_old, m_new;
};

class SDR_API SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_SET_TRIGGER_LEVEL(SDR_TX_TRIGGER* trigger, int level_index,
                                       const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION& old_config,
                                       const SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION& new_config);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_TRIGGER* m_trigger;
  int m_level_index;
  SDR_TX_TRIGGER::TRIGGER_LEVEL_CONFIGURATION m_old, m_new;
};

class SDR_API SDR_TX_UNDO_ACTION_SET_TRIGGER : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_SET_TRIGGER(SDR_TX_TRIGGER* trigger,
                                 const SDR_TX_TRIGGER::TRIGGER_PROPERTIES& old_properties,
                                 const SDR_TX_TRIGGER::TRIGGER_PROPERTIES& new_properties);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_TRIGGER* m_trigger;
  SDR_TX_TRIGGER::TRIGGER_PROPERTIES m_old, m_new;
};

class SDR_API SDR_TX_UNDO_ACTION_SET_SIGNALSET : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_SET_SIGNALSET(SDR_TX_SIGNAL_SET* signal_set,
                                   const SDR_TX_SIGNAL_SET::SIGNAL_SET_PROPERTIES& old_properties,
                                   const SDR_TX_SIGNAL_SET::SIGNAL_SET_PROPERTIES& new_properties);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_SIGNAL_SET* m_signal_set;
  SDR_TX_SIGNAL_SET::SIGNAL_SET_PROPERTIES m_old, m_new;
};

class SDR_API SDR_TX_UNDO_ACTION_SET_INSTANCE : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_SET_INSTANCE(SDR_TX_INSTANCE* instance, bool previous_mode);
  bool undo() override;
  bool redo() override;
  void add_change_kind(SDR_TX_CHANGE_STATUS* flags) const override;

 private:
  SDR_TX_INSTANCE* m_instance;
  bool m_previous_mode;
};

// One user-level action.
class SDR_API SDR_TX_UNDO_ACTION {
 public:
  // The change flags as bits, bit i for flag i.
  using FLAG_BITS = unsigned short;

  SDR_TX_UNDO_ACTION(SDR_TX_CHANGE_STATUS* live, SDR_TX_INSTANCE* instance);
  ~SDR_TX_UNDO_ACTION();

  SDR_TX_UNDO_ACTION(const SDR_TX_UNDO_ACTION&) = delete;
  SDR_TX_UNDO_ACTION& operator=(const SDR_TX_UNDO_ACTION&) = delete;

  void add_atomic_action(std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC> atomic_action);
  int get_num_atomic_actions() const { return m_num_atomic; }
  void save_change_status_begin();
  // kinds: the kinds of change of its atomic actions (see
  // SDR_TX_UNDO_ACTION_ATOMIC::add_change_kind), gathered as they joined.
  void save_change_status_end(FLAG_BITS kinds);
  // Replays the atomic actions and puts back the flags of the start (undo)
  // or the end (redo).
  bool undo();
  bool redo();
  // The flags this action raised: those set at its end but not at its
  // start, and those set at both that its kinds of change raise.
  SDR_TX_CHANGE_STATUS get_own_change_status() const { return to_status(m_own_bits); }
  FLAG_BITS get_own_flag_bits() const { return m_own_bits; }
  // Counts every kind of change of its atomic actions as its own (the
  // action was committed halfway).
  void count_all_kinds_as_own(FLAG_BITS kinds) { m_own_bits = static_cast<FLAG_BITS>(m_own_bits | kinds); }

  static FLAG_BITS to_bits(const SDR_TX_CHANGE_STATUS& status);
  static SDR_TX_CHANGE_STATUS to_status(FLAG_BITS bits);
  static void write_bits(FLAG_BITS bits, SDR_TX_CHANGE_STATUS* status);

 private:
  SDR_TX_UNDO_ACTION_ATOMIC* atomic_at(int index) const {
    return index < IN_PLACE ? m_first_atomic[index].get() : (*m_more_atomic)[index - IN_PLACE].get();
  }

  // What undo and redo read comes first, held in place (there are as many
  // actions as user edits): the first atomic actions (most user actions
  // hold one or two), the flags as bits (the live flags at the start and
  // at the end, and the action's own), and where the flags and the tab go.
  static const int IN_PLACE = 2;
  std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC> m_first_atomic[IN_PLACE];
  int m_num_atomic = 0;
  FLAG_BITS m_begin_bits = 0;
  FLAG_BITS m_end_bits = 0;
  FLAG_BITS m_own_bits = 0;
  bool m_has_status_begin = false;
  bool m_has_status_end = false;
  bool m_setup_tab_selected;
  SDR_TX_CHANGE_STATUS* m_tx_change_status;
  SDR_TX_INSTANCE* m_tx_instance;
  // The atomic actions after the first ones.
  std::unique_ptr<std::vector<std::unique_ptr<SDR_TX_UNDO_ACTION_ATOMIC>>> m_more_atomic;
};

class SDR_API SDR_TX_UNDO_MANAGER {
 public:
  SDR_TX_UNDO_MANAGER(SDR_TX_CHANGE_STATUS* change_status, SDR_TX_INSTANCE* instance);
  ~SDR_TX_UNDO_MANAGER();

  SDR_TX_UNDO_MANAGER(const SDR_TX_UNDO_MANAGER&) = delete;
  SDR_TX_UNDO_MANAGER& operator=(const SDR_TX_UNDO_MANAGER&) = delete;

  void begin_action();
  // True when the action was stored in the history.
  bool end_action();
  // Takes ownership of atomic_action in every case: it joins the open
  // action, or is destroyed (during undo or redo, or with no open action).
  void add_atomic_action(SDR_TX_UNDO_ACTION_ATOMIC* atomic_action);
  bool undo();
  bool redo();
  bool is_undo_available() const;
  bool is_redo_available() const;
  void set_max_undo_steps(int steps) { m_max_undo_steps = steps; }
  int get_max_undo_steps() const { return m_max_undo_steps; }
  void clear_all_actions();

  bool is_action_open() const { return m_current_undo_action != nullptr; }
  bool is_undo_redo_in_progress() const { return m_undo_redo_in_progress; }
  // For operations that must push nothing while they run (see the trigger's
  // capture-type synchronisation).
  void set_undo_redo_in_progress(bool in_progress) { m_undo_redo_in_progress = in_progress; }
  int get_num_actions() const { return static_cast<int>(m_undo_action_list.size()); }
  int get_current_index() const { return m_current_index; }

  // The working copy now equals the committed state.
  void set_clean();
  bool is_clean_reachable() const { return m_clean_index >= 0; }

 private:
  using FLAG_BITS = SDR_TX_UNDO_ACTION::FLAG_BITS;

  void push_action(std::unique_ptr<SDR_TX_UNDO_ACTION> action);
  // Closes the open action: stored when it holds atomic actions (true),
  // destroyed otherwise.
  bool store_open_action();
  // Live flags after a replay that moved the position; snapshot is the
  // flags the action put back.
  void settle_change_status(const SDR_TX_UNDO_ACTION& replayed, FLAG_BITS uncovered);
  // Live flags that the history does not explain (changes made outside
  // any action, links set by other instances); they survive a replay.
  FLAG_BITS uncovered_flags() const;

  // The own flags of the actions between the committed position and the
  // current one, from the counts below.
  FLAG_BITS own_flags_since_clean() const;
  // The action at index joins (+1) or leaves (-1) the stretch between the
  // committed position and the current one.
  void count_between(const SDR_TX_UNDO_ACTION& action, int sign);

  // The history, oldest first.
  std::deque<std::unique_ptr<SDR_TX_UNDO_ACTION>> m_undo_action_list;
  // Per flag, how many actions between the committed position and the
  // current one raise it (kept as the position moves, so that no other
  // action is read).
  std::array<int, SDR_TX_CHANGE_STATUS::FLAG_COUNT> m_between_counts{};
  // The position as a count of actions before it: those before it can be
  // undone, it and those after can be redone.
  int m_current_index = 0;
  int m_max_undo_steps = 128;
  bool m_undo_redo_in_progress = false;
  SDR_TX_CHANGE_STATUS* m_tx_change_status;
  SDR_TX_INSTANCE* m_tx_instance;
  std::unique_ptr<SDR_TX_UNDO_ACTION> m_current_undo_action;
  // The kinds of change of the open action's atomic actions, gathered as
  // they join (a walk over them at the end would read every one again).
  SDR_TX_CHANGE_STATUS m_open_kinds;
  // The committed position as a count of actions before it; -1 when it is
  // no longer in the history; and the flags the commit left set.
  int m_clean_index = 0;
  FLAG_BITS m_clean_residual = 0;
  bool m_commit_while_open = false;
};

// Runs a stretch of work with the undo manager in its replay state, so that
// the operations it calls push no atomic actions; the previous state comes
// back on every way out.
class SDR_TX_REPLAY_GUARD {
 public:
  explicit SDR_TX_REPLAY_GUARD(SDR_TX_UNDO_MANAGER* manager)
      : m_manager(manager), m_previous(manager && manager->is_undo_redo_in_progress()) {
    if (m_manager) m_manager->set_undo_redo_in_progress(true);
  }
  ~SDR_TX_REPLAY_GUARD() {
    if (m_manager) m_manager->set_undo_redo_in_progress(m_previous);
  }
  SDR_TX_REPLAY_GUARD(const SDR_TX_REPLAY_GUARD&) = delete;
  SDR_TX_REPLAY_GUARD& operator=(const SDR_TX_REPLAY_GUARD&) = delete;

 private:
  SDR_TX_UNDO_MANAGER* m_manager;
  bool m_previous;
};

// Opens a user-level action for a scope and closes it on every way out.
class SDR_TX_ACTION_BRACKET {
 public:
  explicit SDR_TX_ACTION_BRACKET(SDR_TX_UNDO_MANAGER* manager) : m_manager(manager) {
    if (m_manager) m_manager->begin_action();
  }
  ~SDR_TX_ACTION_BRACKET() {
    if (m_manager) m_manager->end_action();
  }
  SDR_TX_ACTION_BRACKET(const SDR_TX_ACTION_BRACKET&) = delete;
  SDR_TX_ACTION_BRACKET& operator=(const SDR_TX_ACTION_BRACKET&) = delete;

 private:
  SDR_TX_UNDO_MANAGER* m_manager;
};

#endif
