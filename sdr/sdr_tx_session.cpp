// Transaction session: instance groups, lifecycle, commit and save,
// session properties and the resource estimates.

#include "sdr_tx_session.h"

#include <cmath>
#include <cstring>

#include "path_util.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_undo_manager.h"

SDR_TX_SESSION::DATA_GROUP::DATA_GROUP() = default;

SDR_TX_SESSION::DATA_GROUP::~DATA_GROUP() {
  // The trigger and the signal set point to the instance's undo manager.
  m_tx_trigger.reset();
  m_tx_signal_set.reset();
  m_tx_instance.reset();
}

SDR_TX_SESSION::SDR_TX_SESSION(SDR_TX_TREE_OBJECT* tree_object)
    : m_data_manager(SDR_DATA_MANAGER::get_data_repository_manager()),
      m_tx_tree_object(tree_object),
      m_script_recorder(new SDR_TX_SCRIPT_RECORDER()) {
  SDR_CHECK_AS(m_data_manager != nullptr, "m_data_manager != NULL");
}

SDR_TX_SESSION::~SDR_TX_SESSION() {
  // Groups first: their triggers hang level trees under the tree object.
  m_data_group.clear();
}

SDR_TX_SESSION::DATA_GROUP* SDR_TX_SESSION::group_at(int index) const {
  if (index < 0 || index >= get_num_instances()) return nullptr;
  return m_data_group[static_cast<size_t>(index)].get();
}

SDR_TX_INSTANCE* SDR_TX_SESSION::get_instance_at(int index) const {
  DATA_GROUP* group = group_at(index);
  return group ? group->m_tx_instance.get() : nullptr;
}

SDR_TX_SIGNAL_SET* SDR_TX_SESSION::get_signal_set_at(int index) const {
  DATA_GROUP* group = group_at(index);
  return group ? group->m_tx_signal_set.get() : nullptr;
}

SDR_TX_TRIGGER* SDR_TX_SESSION::get_trigger_at(int index) const {
  DATA_GROUP* group = group_at(index);
  return group ? group->m_tx_trigger.get() : nullptr;
}

SDR_DATA_LOG* SDR_TX_SESSION::get_log_at(int index) const {
  DATA_GROUP* group = group_at(index);
  return group ? group->m_data_log : nullptr;
}

void SDR_TX_SESSION::link_group(DATA_GROUP* group) {
  group->m_tx_signal_set->set_the_other_signal_nodes(group->m_tx_trigger.get());
  group->m_tx_trigger->set_the_other_signal_nodes(group->m_tx_signal_set.get());
}

std::unique_ptr<SDR_TX_SESSION::DATA_GROUP> SDR_TX_SESSION::make_group(int index, bool from_data) {
  SDR_DATA_INSTANCE* instance = m_data_session ? m_data_session->get_instance_at(index) : nullptr;
  SDR_CHECK_AS(instance != nullptr, "instance != NULL");
  std::unique_ptr<DATA_GROUP> group(new DATA_GROUP());
  SDR_TX_SCRIPT_RECORDER* recorder = m_script_recorder.get();
  group->m_tx_instance.reset(new SDR_TX_INSTANCE(index, this, instance, recorder));
  SDR_TX_UNDO_MANAGER* undo = group->m_tx_instance->get_undo_manager();
  SDR_TX_CHANGE_STATUS* status = group->m_tx_instance->get_change_status();
  SDR_DATA_SIGNAL_SET* signal_set = from_data && instance ? instance->get_last_signal_set() : nullptr;
  SDR_DATA_TRIGGER* trigger = signal_set ? signal_set->get_last_trigger() : nullptr;
  if (signal_set)
    group->m_tx_signal_set.reset(new SDR_TX_SIGNAL_SET(index, this, signal_set, undo, status, recorder));
  else
    group->m_tx_signal_set.reset(new SDR_TX_SIGNAL_SET(index, this, undo, status, recorder));
  if (trigger)
    group->m_tx_trigger.reset(
        new SDR_TX_TRIGGER(index, this, trigger, undo, status, m_tx_tree_object.get(), recorder));
  else
    group->m_tx_trigger.reset(
        new SDR_TX_TRIGGER(index, this, undo, status, m_tx_tree_object.get(), recorder));
  group->m_data_log = trigger ? trigger->get_last_log() : nullptr;
  if (group->m_data_log) group->m_tx_instance->set_setup_tab_selected(false);
  link_group(group.get());
  return group;
}

void SDR_TX_SESSION::build_groups() {
  m_data_group.clear();
  const int count = m_data_session->get_num_instances();
  m_data_group.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) m_data_group.push_back(make_group(i, true));
  index_groups();
}

// ---------------------------------------------------------------- lifecycle

bool SDR_TX_SESSION::create_session(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "create_session");
  scope.add_argument(name);
  if (!m_data_manager) return false;
  if (m_data_session) close_session();
  m_data_session = m_data_manager->create_session(name);
  if (!m_data_session) return false;
  m_data_group.clear();
  m_group_index.clear();
  const int index = create_trazio_instance(nullptr);
  set_undoable_modified_flag();
  m_script_recorder->set_data_session(m_data_session);
  m_script_recorder->skip_init_check_point();
  return index == 0;
}

bool SDR_TX_SESSION::open_session(const char* path) {
  if (!m_data_manager || !path) return false;
  if (m_data_session) close_session();
  // A path with no file behind it names a new session; a file that is
  // there but cannot be loaded is left alone (the load posted why).
  if (!PATH_UTIL::exists(path)) return create_session(path);
  SDR_DATA_SESSION* session = m_data_manager->open_session(path);
  if (!session) return false;
  return open_data_session(session, path);
}

bool SDR_TX_SESSION::open_session(SDR_DATA_SESSION* data_session) {
  if (m_data_session && m_data_session != data_session) close_session();
  if (!data_session) return false;
  return open_data_session(data_session, "");
}

bool SDR_TX_SESSION::open_data_session(SDR_DATA_SESSION* data_session, const char* path) {
  m_data_session = data_session;
  m_script_recorder->set_data_session(m_data_session);
  const bool recording = m_script_recorder->is_enabled();
  if (recording) {
    m_script_recorder->write_comment("open_session", path);
    m_script_recorder->raise_depth();
    m_script_recorder->save_check_point();
  }
  build_groups();
  m_undoable_modified = false;
  // A file without instances keeps what it holds and gets one new instance.
  if (m_data_group.empty()) create_trazio_instance(nullptr);
  if (recording) m_script_recorder->lower_depth();
  return true;
}

bool SDR_TX_SESSION::commit_session() {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "commit_session");
  if (!m_data_session) return false;
  for (int i = 0; i < get_num_instances(); ++i)
    if (!commit_instance_at(i, true)) return false;
  return true;
}

bool SDR_TX_SESSION::commit_instance_at(int index, bool flag) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "commit_instance_at");
  scope.add_argument(index);
  scope.add_argument(flag);
  DATA_GROUP* group = group_at(index);
  if (!group) return false;
  SDR_TX_INSTANCE* instance = group->m_tx_instance.get();
  SDR_TX_SIGNAL_SET* signal_set = group->m_tx_signal_set.get();
  SDR_TX_TRIGGER* trigger = group->m_tx_trigger.get();
  SDR_DATA_INSTANCE* data_instance = instance->get_data_instance();
  if (data_instance && data_instance->is_trazio_hdl_node()) {
    bool is_full = false, is_pinwatch = false;
    check_instance_compilation_type_at(index, &is_full, &is_pinwatch);
    trigger->set_crc_value_inheritable(!is_full);
  }
  SDR_DATA_LOG* old_log = group->m_data_log;
  const bool old_log_global = old_log && old_log->is_global_temp();
  const bool ok = instance->commit() && signal_set->commit(data_instance, flag) &&
                  trigger->commit(signal_set->get_data_signal_set(), flag);
  if (!ok) return false;
  SDR_DATA_TRIGGER* committed = trigger->get_data_trigger();
  if (committed && committed->is_global_temp()) {
    if (committed->get_global_log()) {
      group->m_data_log = committed->get_global_log();
    } else if (old_log && !old_log_global) {
      SDR_DATA_LOG* log = committed->create_log(old_log->get_name(), true);
      group->m_data_log = log;
      if (log) log->copy_data(old_log);
    } else {
      group->m_data_log = committed->get_global_log();
    }
  } else if (group->m_data_log && group->m_data_log->get_trigger() != committed) {
    group->m_data_log = nullptr;
  }
  instance->get_undo_manager()->set_clean();
  return true;
}

bool SDR_TX_SESSION::save_session(const char* path) {
  if (!m_data_session) return false;
  const bool recording = m_script_recorder->is_enabled();
  if (recording) {
    m_script_recorder->write_comment("save_session", path ? path : "");
    m_script_recorder->raise_depth();
  }
  bool ok = commit_session();
  if (ok) {
    m_data_session->reset_active_tree();
    for (const auto& group : m_data_group) {
      if (group->m_data_log)
        m_data_session->add_active_branch(group->m_data_log);
      else if (SDR_DATA_TRIGGER* trigger = group->m_tx_trigger->get_data_trigger())
        m_data_session->add_active_branch(trigger);
    }
    // A new session's name carries the "*" of a never-saved session: its
    // own file is the name without it.
    std::string own_path;
    if (!path && m_data_session->get_name()) {
      own_path = m_data_session->get_name();
      if (!own_path.empty() && own_path.back() == '*') {
        own_path.pop_back();
        path = own_path.c_str();
      }
    }
    const bool written = path ? m_data_session->save_as(path, true, false) : m_data_session->save(true);
    if (written) {
      m_undoable_modified = false;
    } else {
      // Nothing reached the file: what is in memory is still unsaved.
      m_undoable_modified = true;
      ok = false;
    }
  }
  if (recording) {
    m_script_recorder->save_check_point();
    m_script_recorder->lower_depth();
  }
  return ok;
}

bool SDR_TX_SESSION::close_session() {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "close_session");
  if (!m_data_session || !m_data_manager) return false;
  // The groups point into the data session.
  m_data_group.clear();
  m_group_index.clear();
  const std::string name = m_data_session->get_name() ? m_data_session->get_name() : "";
  m_data_session = nullptr;
  m_script_recorder->set_data_session(nullptr);
  m_undoable_modified = false;
  return m_data_manager->close_session(name.c_str());
}

void SDR_TX_SESSION::disable_script_recording() {
  m_script_recorder->disable();
}

// ---------------------------------------------------------------- instances and logs

int SDR_TX_SESSION::find_instance_index(const char* name) const {
  if (!name) return -1;
  // The data session's name map, then the group of that instance.
  SDR_DATA_INSTANCE* instance = m_data_session ? m_data_session->find_instance(name) : nullptr;
  auto it = instance ? m_group_index.find(instance) : m_group_index.end();
  return it != m_group_index.end() ? it->second : get_num_instances();
}

void SDR_TX_SESSION::index_groups() {
  m_group_index.clear();
  for (int i = 0; i < get_num_instances(); ++i)
    if (SDR_DATA_INSTANCE* instance =
            m_data_group[static_cast<size_t>(i)]->m_tx_instance->get_data_instance())
      m_group_index[instance] = i;
}

int SDR_TX_SESSION::create_trazio_instance(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "create_trazio_instance");
  scope.add_argument(name);
  if (!m_data_session || !m_data_session->create_trazio_instance(name)) return -1;
  const int index = get_num_instances();
  m_data_group.push_back(make_group(index, false));
  index_groups();
  set_undoable_modified_flag();
  return index;
}

bool SDR_TX_SESSION::remove_trazio_instance(int index) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "remove_trazio_instance");
  scope.add_argument(index);
  DATA_GROUP* group = group_at(index);
  if (!group) return false;
  // The action is never ended: the instance and its history go below.
  group->m_tx_instance->begin_action();
  SDR_TX_SIGNAL_SET* signal_set = group->m_tx_signal_set.get();
  signal_set->set_trigger_in_enabled(false);
  signal_set->set_trigger_out_enabled(false);
  signal_set->set_trigger_in_node("");
  signal_set->set_trigger_out_node("");
  SDR_DATA_INSTANCE* data_instance = group->m_tx_instance->get_data_instance();
  if (SDR_CHECK_AS(data_instance != nullptr, "instance != NULL")) data_instance->remove();
  m_data_group.erase(m_data_group.begin() + index);
  index_groups();
  for (int i = index; i < get_num_instances(); ++i) {
    DATA_GROUP* later = m_data_group[static_cast<size_t>(i)].get();
    later->m_tx_instance->set_instance_index(i);
    later->m_tx_signal_set->set_instance_index(i);
    later->m_tx_trigger->set_instance_index(i);
  }
  set_undoable_modified_flag();
  return true;
}

SDR_DATA_LOG* SDR_TX_SESSION::create_new_log(int index) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "create_new_log");
  scope.add_argument(index);
  DATA_GROUP* group = group_at(index);
  if (!group || !commit_instance_at(index, true)) return nullptr;
  SDR_DATA_TRIGGER* trigger = group->m_tx_trigger->get_data_trigger();
  if (!trigger) return nullptr;
  const bool gui_logging = is_gui_logging_enabled();
  SDR_DATA_LOG* log = trigger->create_log(nullptr, !gui_logging);
  if (log) m_undoable_modified = true;
  if (log && !gui_logging) group->m_data_log = log;
  return log;
}

void SDR_TX_SESSION::remove_current_log(int index) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "remove_current_log");
  scope.add_argument(index);
  DATA_GROUP* group = group_at(index);
  if (!group || !group->m_data_log) return;
  if (!group->m_data_log->is_global_temp()) group->m_data_log->remove();
  group->m_data_log = nullptr;
  m_undoable_modified = true;
}

bool SDR_TX_SESSION::save_to_log(int index) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "save_to_log");
  scope.add_argument(index);
  DATA_GROUP* group = group_at(index);
  if (!group || !m_data_session) return false;
  bool ok;
  if (m_data_session->is_gui_logging_enabled()) {
    ok = commit_instance_at(index, false);
  } else {
    m_data_session->set_gui_logging(true);
    SDR_DATA_LOG* previous = group->m_data_log;
    ok = commit_instance_at(index, false);
    SDR_DATA_TRIGGER* trigger = group->m_tx_trigger->get_data_trigger();
    if (trigger && previous) {
      SDR_DATA_LOG* log = trigger->create_log(nullptr, false);
      if (log) {
        group->m_data_log = log;
        log->copy_data(previous);
      }
    }
    m_data_session->set_gui_logging(false);
  }
  m_undoable_modified = true;
  return ok;
}

bool SDR_TX_SESSION::set_active_log(int index, SDR_DATA_LOG* log) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_active_log");
  scope.add_argument(index);
  SDR_DATA_SIGNAL_SET* log_set = log ? log->get_signal_set() : nullptr;
  SDR_DATA_TRIGGER* log_trigger = log ? log->get_trigger() : nullptr;
  scope.add_argument(log_set ? log_set->get_name() : nullptr);
  scope.add_argument(log_trigger ? log_trigger->get_name() : nullptr);
  scope.add_argument(log ? log->get_name() : nullptr);
  DATA_GROUP* group = group_at(index);
  if (!group) return false;
  group->m_data_log = log;
  m_undoable_modified = true;
  return true;
}

bool SDR_TX_SESSION::set_active(int index, const char* signal_set, const char* trigger, const char* log) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_active");
  scope.add_argument(index);
  scope.add_argument(signal_set);
  scope.add_argument(trigger);
  scope.add_argument(log);
  DATA_GROUP* group = group_at(index);
  if (!group) return false;
  if (!SDR_CHECK_AS(group->m_tx_instance != nullptr,
                    "(*m_data_group)[instance_index]->m_tx_instance != NULL") ||
      !SDR_CHECK_AS(group->m_tx_signal_set != nullptr,
                    "(*m_data_group)[instance_index]->m_tx_signal_set != NULL") ||
      !SDR_CHECK_AS(group->m_tx_trigger != nullptr, "(*m_data_group)[instance_index]->m_tx_trigger != NULL"))
    return false;
  SDR_DATA_INSTANCE* data_instance = group->m_tx_instance->get_data_instance();
  SDR_DATA_SIGNAL_SET* found_set =
      signal_set && data_instance ? data_instance->find_signal_set(signal_set) : nullptr;
  SDR_DATA_TRIGGER* found_trigger = trigger && found_set ? found_set->find_trigger(trigger) : nullptr;
  SDR_DATA_LOG* found_log = log && found_trigger ? found_trigger->find_log(log) : nullptr;
  if (found_set) {
    group->m_tx_signal_set->init(found_set);
    if (found_trigger) {
      group->m_tx_trigger->init(found_trigger);
    } else {
      group->m_tx_trigger->init();
      if (found_set->get_setup_view()) group->m_tx_trigger->init(found_set->get_setup_view());
    }
  } else {
    group->m_tx_signal_set->init();
    group->m_tx_trigger->init();
  }
  group->m_data_log = found_log;
  group->m_tx_instance->set_setup_tab_selected(found_log == nullptr);
  m_undoable_modified = true;
  return true;
}

bool SDR_TX_SESSION::remove(int index, const char* signal_set, const char* trigger, const char* log) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "remove");
  scope.add_argument(index);
  scope.add_argument(signal_set);
  scope.add_argument(trigger);
  scope.add_argument(log);
  DATA_GROUP* group = group_at(index);
  if (!group) return false;
  if (!signal_set) return remove_trazio_instance(index);
  SDR_DATA_INSTANCE* data_instance = group->m_tx_instance->get_data_instance();
  SDR_DATA_SIGNAL_SET* found_set = data_instance ? data_instance->find_signal_set(signal_set) : nullptr;
  if (!found_set) return false;
  if (!trigger) {
    // Nothing of the group may keep pointing into the removed set.
    SDR_DATA_TRIGGER* edited_trigger = group->m_tx_trigger->get_data_trigger();
    if (found_set == group->m_tx_signal_set->get_data_signal_set()) {
      group->m_tx_signal_set->init();
      group->m_tx_trigger->init();
      group->m_data_log = nullptr;
    } else if (edited_trigger && edited_trigger->get_signal_set() == found_set) {
      group->m_tx_trigger->init();
    }
    if (group->m_data_log && group->m_data_log->get_signal_set() == found_set) group->m_data_log = nullptr;
    found_set->remove();
  } else {
    SDR_DATA_TRIGGER* found_trigger = found_set->find_trigger(trigger);
    if (!found_trigger) return false;
    if (!log) {
      if (found_trigger == group->m_tx_trigger->get_data_trigger()) {
        group->m_tx_trigger->init();
        group->m_data_log = nullptr;
      }
      if (group->m_data_log && group->m_data_log->get_trigger() == found_trigger) group->m_data_log = nullptr;
      found_trigger->remove();
    } else {
      SDR_DATA_LOG* found_log = found_trigger->find_log(log);
      if (!found_log) return false;
      if (found_log == group->m_data_log) group->m_data_log = nullptr;
      found_log->remove();
    }
  }
  m_undoable_modified = true;
  return true;
}

void SDR_TX_SESSION::get_all_available_trigger_out_target_at(int index,
                                                             std::vector<const char*>* trig_out_vec) {
  if (!SDR_CHECK_AS(trig_out_vec != nullptr, "trig_out_vec != NULL")) return;
  trig_out_vec->clear();
  if (!group_at(index)) return;
  for (int i = 0; i < get_num_instances(); ++i) {
    DATA_GROUP* group = m_data_group[static_cast<size_t>(i)].get();
    const char* name = group->m_tx_instance->get_name();
    // The queried instance's own entry is its bare name; callers skip it.
    group->m_target_name = std::string(name ? name : "") + (i == index ? "" : "|trigger_in");
    trig_out_vec->push_back(group->m_target_name.c_str());
  }
}

// ---------------------------------------------------------------- queries

void SDR_TX_SESSION::check_instance_compilation_type_at(int index, bool* is_full, bool* is_pinwatch) {
  if (!SDR_CHECK_AS(is_full != nullptr, "is_full != NULL") ||
      !SDR_CHECK_AS(is_pinwatch != nullptr, "is_pinwatch != NULL"))
    return;
  *is_full = *is_pinwatch = false;
  DATA_GROUP* group = group_at(index);
  if (!group) return;
  const SDR_TX_CHANGE_STATUS* status = group->m_tx_instance->get_change_status();
  if (status->is_full_compilation()) {
    group->m_tx_signal_set->check_compilation_type(is_full, is_pinwatch);
    if (!*is_full) group->m_tx_trigger->check_compilation_type(is_full, is_pinwatch);
  } else if (status->is_pinwatch_compilation()) {
    group->m_tx_trigger->check_compilation_type(is_full, is_pinwatch);
  }
}

SDR_KALVOS_RAM_TYPE SDR_TX_SESSION::get_instance_ram_type_at(int index) const {
  SDR_TX_SIGNAL_SET* signal_set = get_signal_set_at(index);
  return signal_set ? signal_set->get_kalvos_ram_type() : SDR_RAM_NO_INSTANCE;
}

unsigned long SDR_TX_SESSION::get_instance_ram_bits_usage_at(int index) const {
  SDR_TX_SIGNAL_SET* s = get_signal_set_at(index);
  SDR_TX_TRIGGER* t = get_trigger_at(index);
  if (!s || !t) return 0;
  const int width = std::max(s->get_reserved_data_node_size(), t->get_data_wire_width());
  if (width <= 0 || s->get_sample_depth() <= 0) return 0;
  return static_cast<unsigned long>(s->get_sample_depth()) * static_cast<unsigned long>(width);
}

unsigned long SDR_TX_SESSION::estimate_instance_lcells(int index) const {
  SDR_TX_SIGNAL_SET* s = get_signal_set_at(index);
  SDR_TX_TRIGGER* t = get_trigger_at(index);
  if (!s || !t) return 0;
  const int width = std::max(std::max(t->get_data_wire_width(), t->get_trigger_wire_width()),
                             std::max(s->get_reserved_data_node_size(), s->get_reserved_trigger_node_size()));
  if (width <= 0) return 0;
  int depth_bits = 6;
  if (s->get_sample_depth() > 0) {
    depth_bits = 0;
    for (unsigned depth = static_cast<unsigned>(s->get_sample_depth()); depth > 1; depth >>= 1) ++depth_bits;
  }
  const int levels = t->get_trigger_level();
  long count = static_cast<long>((width - 1) * ((levels - 1) * 6.342 + 10.419)) + 8L * (depth_bits - 6) +
               static_cast<long>((levels - 1) * 10.5) + 135;
  const int reserved_trigger = s->get_reserved_trigger_node_size();
  for (int level = 0; level < levels; ++level) {
    if (t->is_trigger_level_basic_condition(level)) continue;
    count +=
        static_cast<long>(t->get_adv_trigger_level_lcell_usage(level)) - static_cast<long>((width - 1) * 7.4);
    const int non_incremental = t->get_trigger_wire_width_non_inc_rted();
    if (reserved_trigger > 0 && reserved_trigger > non_incremental)
      count += static_cast<long>((reserved_trigger - non_incremental) * 7.4);
  }
  return count > 0 ? static_cast<unsigned long>(count) : 0;
}

unsigned long SDR_TX_SESSION::get_instance_estimated_lcell_count_at(int index) const {
  const unsigned long own = estimate_instance_lcells(index);
  if (own == 0) return 0;
  const unsigned n = static_cast<unsigned>(get_num_instances());
  const unsigned hub = (101u + static_cast<unsigned>((n - 1) * 27.222)) / n;
  return own + hub;
}

// ---------------------------------------------------------------- session properties

bool SDR_TX_SESSION::store_text(const char* (SDR_DATA_SESSION::*get)() const,
                                void (SDR_DATA_SESSION::*set)(const char*), const char* value) {
  if (!m_data_session) return false;
  // The data session stores a null text as an empty one: compare with what
  // storing would leave.
  const char* current = (m_data_session->*get)();
  const bool equal = current ? std::strcmp(current, value ? value : "") == 0 : !value;
  if (equal) return false;
  (m_data_session->*set)(value);
  m_undoable_modified = true;
  return true;
}

void SDR_TX_SESSION::set_jtag_chain_name(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_jtag_chain_name");
  scope.add_argument(name);
  store_text(&SDR_DATA_SESSION::get_jtag_chain_name, &SDR_DATA_SESSION::set_jtag_chain_name, name);
}

void SDR_TX_SESSION::set_jtag_device_name(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_jtag_device_name");
  scope.add_argument(name);
  store_text(&SDR_DATA_SESSION::get_jtag_device_name, &SDR_DATA_SESSION::set_jtag_device_name, name);
}

void SDR_TX_SESSION::set_bix_file_name(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_bix_file_name");
  scope.add_argument(name);
  store_text(&SDR_DATA_SESSION::get_bix_file_name, &SDR_DATA_SESSION::set_bix_file_name, name);
}

void SDR_TX_SESSION::set_gui_logging(bool enabled) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_gui_logging");
  scope.add_argument(enabled);
  if (!m_data_session) return;
  if (m_data_session->is_gui_logging_enabled() == enabled) return;
  m_data_session->set_gui_logging(enabled);
  m_undoable_modified = true;
}

bool SDR_TX_SESSION::set_global_data(const char* name, int value) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_global_data");
  scope.add_argument(name);
  scope.add_argument(value);
  if (!m_data_session || !name) return false;
  const auto& singles = m_data_session->get_global_singles();
  auto it = singles.find(name);
  if (it != singles.end() && it->second == value) return false;
  if (!m_data_session->set_global_data(name, value, false)) return false;
  m_undoable_modified = true;
  return true;
}

bool SDR_TX_SESSION::set_global_data(const char* name, const int* values, int count) {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_global_data");
  scope.add_argument(name);
  scope.add_argument(values, count);
  if (!m_data_session || !name || count < 0 || (count > 0 && !values)) return false;
  const auto& multis = m_data_session->get_global_multis();
  auto it = multis.find(name);
  if (it != multis.end() && it->second == std::vector<int>(values, values + count)) return false;
  if (!m_data_session->set_global_data(name, values, count, false)) return false;
  m_undoable_modified = true;
  return true;
}

const char* SDR_TX_SESSION::get_jtag_chain_name() const {
  return m_data_session ? m_data_session->get_jtag_chain_name() : nullptr;
}
const char* SDR_TX_SESSION::get_jtag_device_name() const {
  return m_data_session ? m_data_session->get_jtag_device_name() : nullptr;
}
const char* SDR_TX_SESSION::get_bix_file_name() const {
  return m_data_session ? m_data_session->get_bix_file_name() : nullptr;
}
bool SDR_TX_SESSION::is_gui_logging_enabled() const {
  return m_data_session && m_data_session->is_gui_logging_enabled();
}
int SDR_TX_SESSION::get_global_data(const char* name) const {
  return m_data_session ? m_data_session->get_global_data(name) : -1;
}
int SDR_TX_SESSION::get_global_data(const char* name, int* out) const {
  return m_data_session ? m_data_session->get_global_data(name, out) : -1;
}
int SDR_TX_SESSION::get_embedded_bix_file_count() const {
  return m_data_session ? m_data_session->get_embedded_bix_file_count() : 0;
}
const char* SDR_TX_SESSION::get_embedded_bix_filename_at(int index) const {
  return m_data_session ? m_data_session->get_embedded_bix_filename_at(index) : nullptr;
}
bool SDR_TX_SESSION::rename_embedded_bix_filename_at(int index, const char* new_embedded_name) {
  return m_data_session && m_data_session->rename_embedded_bix_filename_at(index, new_embedded_name);
}
bool SDR_TX_SESSION::set_embedded_bix_inst_id_crc_at(int index, const char* inst_id_crc_str) {
  return m_data_session && m_data_session->set_embedded_bix_inst_id_crc_at(index, inst_id_crc_str);
}
const char* SDR_TX_SESSION::get_embedded_bix_inst_id_crc_at(int index) const {
  return m_data_session ? m_data_session->get_embedded_bix_inst_id_crc_at(index) : nullptr;
}
bool SDR_TX_SESSION::remove_embedded_bix_at(int index) {
  return m_data_session && m_data_session->remove_embedded_bix_at(index);
}
bool SDR_TX_SESSION::embed_bix_file(const char* filename, const char* embedded_name) {
  return m_data_session && m_data_session->embed_bix_file(filename, embedded_name);
}
bool SDR_TX_SESSION::extract_bix_file(int index, const char* filename) {
  return m_data_session && m_data_session->extract_bix_file(index, filename);
}

// ---------------------------------------------------------------- modification

bool SDR_TX_SESSION::is_modified() const {
  if (m_undoable_modified) return true;
  for (const auto& group : m_data_group)
    if (group->m_tx_instance->is_modified()) return true;
  return false;
}

void SDR_TX_SESSION::set_undoable_modified_flag() {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_undoable_modified_flag");
  m_undoable_modified = true;
}

void SDR_TX_SESSION::set_log_change_flag() {
  SDR_TX_RECORD(scope, m_script_recorder.get(), "set_undoable_modified_flag");
  m_undoable_modified = true;
}
