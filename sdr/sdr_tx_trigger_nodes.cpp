// Transaction trigger: the setup-tab node list of one instance.

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "atg_compiler.h"
#include "sdr_data_signal_set.h"
#include "sdr_internal.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_trigger_internal.h"
#include "sdr_tx_undo_manager.h"

namespace {

// How many renames of rename_advanced_signal can be given back.
const size_t SIGNAL_RENAMES_KEPT = 64;

// The node at path below root, or null when the tree no longer has it.
SDR_TX_TREE_OBJECT* tree_node_at(SDR_TX_TREE_OBJECT* root, const std::vector<int>& path) {
  for (int index : path) {
    if (!root || index < 0 || index >= root->get_num_children()) return nullptr;
    root = root->get_child(index);
  }
  return root;
}

// The leaves of the level trees and the level texts that follow a wire's
// new alias; replayed by renaming back and again.
class SDR_TX_UNDO_ACTION_RENAME_ADV_SIGNAL : public SDR_TX_UNDO_ACTION_ATOMIC {
 public:
  SDR_TX_UNDO_ACTION_RENAME_ADV_SIGNAL(SDR_TX_TRIGGER* trigger, std::string from, std::string to)
      : m_trigger(trigger), m_from(std::move(from)), m_to(std::move(to)) {}
  bool undo() override {
    m_trigger->rename_advanced_signal(m_to.c_str(), m_from.c_str());
    return true;
  }
  bool redo() override {
    m_trigger->rename_advanced_signal(m_from.c_str(), m_to.c_str());
    return true;
  }
  // The alias change itself carries the change kinds.
  void add_change_kind(SDR_TX_CHANGE_STATUS*) const override {}

 private:
  SDR_TX_TRIGGER* m_trigger;
  std::string m_from;
  std::string m_to;
};

}  // namespace

// ---------------------------------------------------------------- node list

SDR_TX_NAME_SET& SDR_TX_TRIGGER::uniq_names() {
  if (m_uniq_node_set_stale) {
    m_uniq_node_set_stale = false;
    m_uniq_node_set.clear();
    m_uniq_node_set.reserve(m_node_vec.size());
    for (const auto& node : m_node_vec) add_names(node.get());
  }
  return m_uniq_node_set;
}

void SDR_TX_TRIGGER::add_names(const NODE_TYPE* node) {
  // A stale set is rebuilt from the rows as they will be then.
  if (!node || m_uniq_node_set_stale) return;
  if (!node->name.empty()) m_uniq_node_set.insert(node->name);
  if (!node->alias.empty()) m_uniq_node_set.insert(node->alias.str());
}

void SDR_TX_TRIGGER::remove_names(const NODE_TYPE* node) {
  if (!node || m_uniq_node_set_stale) return;
  m_uniq_node_set.erase(node->name);
  if (!node->alias.empty()) m_uniq_node_set.erase(node->alias.str());
}

void SDR_TX_TRIGGER::note_trigger_wire_index(const NODE_TYPE* node) {
  if (node && node->trigger_wire_index > m_trigger_wire_index_max)
    m_trigger_wire_index_max = node->trigger_wire_index;
}

void SDR_TX_TRIGGER::rebuild_uniq_name_set() {
  // Undoing many appends would otherwise rebuild the set once per row.
  m_uniq_node_set_stale = true;
  if (!is_replaying()) uniq_names();
}

bool SDR_TX_TRIGGER::is_node_deletable(int) {
  return true;
}

bool SDR_TX_TRIGGER::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                 SDR_DATA_WIRE_TAP_MODE tap_mode) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "append_node");
  scope.add_argument(name);
  scope.add_argument(signal_type);
  scope.add_argument(tap_mode);
  if (!SDR_CHECK_AS(name != nullptr, "name != NULL") || !*name || uniq_names().count(name)) return false;
  if (!SDR_TX_SIGNAL_NODES::append_node(name, signal_type, tap_mode)) return false;
  const NODE_TYPE* node = node_at(get_node_count() - 1);
  SDR_CHECK_AS(uniq_names().insert(name), "m_uniq_node_set->insert( name ).second");
  // Every appended row may take a condition, in a new instance too.
  note_trigger_wire_index(node);
  if (m_tx_the_other_signal_nodes) m_tx_the_other_signal_nodes->append_node(name, signal_type, tap_mode);
  return true;
}

bool SDR_TX_TRIGGER::delete_node(const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node");
  scope.add_argument(name);
  if (!name) return false;
  const int index = find_wire_node(name);
  if (index < 0) return false;
  NODE_TYPE copy = *node_at(index);
  if (!SDR_TX_SIGNAL_NODES::delete_node(name)) return false;
  remove_names(&copy);
  if (m_tx_the_other_signal_nodes) m_tx_the_other_signal_nodes->delete_node(name);
  return true;
}

int SDR_TX_TRIGGER::delete_node(int first, int last) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "delete_node");
  scope.add_argument(first);
  scope.add_argument(last);
  if (!SDR_CHECK_AS(first >= 0 && last >= 0, "first_index >= 0 && last_index >= 0")) return 0;
  if (first > last) std::swap(first, last);
  if (last >= get_node_count()) return 0;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  const bool replaying = m_tx_undo_manager && m_tx_undo_manager->is_undo_redo_in_progress();
  // From the end, so that an ungrouping that reaches back here moves only
  // the rows already passed.
  std::vector<std::string> names;
  for (int i = last; i >= first && other; --i) {
    const NODE_TYPE* node = node_at(i);
    if (!is_group_type(node->display_type)) {
      names.push_back(node->name);
      continue;
    }
    if (node->group_linking == SDR_LTYPE_NONE || replaying) continue;
    const int j = other->find_group_node(node->name.c_str());
    if (j < 0) continue;
    other->push_node_image(j);
    const int before = get_node_count();
    other->ungroup_node(j);
    // A linked group is ungrouped on both tabs: the range lost this row.
    if (get_node_count() < before) --last;
  }
  if (last < first) {
    rebuild_uniq_name_set();
    return 0;
  }
  const int removed = SDR_TX_SIGNAL_NODES::delete_node(first, last);
  rebuild_uniq_name_set();
  if (removed > 0 && other)
    for (const std::string& name : names) other->delete_node(name.c_str());
  return removed;
}

bool SDR_TX_TRIGGER::group_node(int first, int last, NODE_TYPE* group) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "group_node");
  scope.add_argument(first);
  scope.add_argument(last);
  if (!SDR_CHECK_AS(first >= 0 && last >= 0, "first_index >= 0 && last_index >= 0")) return false;
  if (first > last) std::swap(first, last);
  // The names before the group row joins them.
  uniq_names();
  if (!SDR_TX_SIGNAL_NODES::group_node(first, last, group)) return false;
  NODE_TYPE* row = node_at(first);
  if (!row) return false;
  if (uniq_names().count(row->name)) {
    const std::string base = row->name;
    std::string candidate;
    for (int n = 1;; ++n) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, " (%d)", n);
      candidate = base + suffix;
      if (!uniq_names().count(candidate)) break;
    }
    SDR_TX_SIGNAL_NODES::set_group_node_name(first, candidate.c_str());
  }
  add_names(node_at(first));
  return true;
}

bool SDR_TX_TRIGGER::ungroup_node(int index) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "ungroup_node");
  scope.add_argument(index);
  const NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  NODE_TYPE copy = *node;
  if (!SDR_TX_SIGNAL_NODES::ungroup_node(index)) return false;
  remove_names(&copy);
  return true;
}

bool SDR_TX_TRIGGER::set_group_node_name(int index, const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_group_node_name");
  scope.add_argument(index);
  scope.add_argument(name);
  if (!SDR_CHECK_AS(name != nullptr && *name, "name != NULL && gen_strlen( name ) > 0")) return false;
  NODE_TYPE* node = node_at(index);
  if (!node || node->name == name || uniq_names().count(name)) return false;
  const std::string old_name = node->name;
  uniq_names().erase(old_name);
  if (!SDR_TX_SIGNAL_NODES::set_group_node_name(index, name)) {
    uniq_names().insert(old_name);
    return false;
  }
  uniq_names().insert(node_at(index)->name);
  return true;
}

bool SDR_TX_TRIGGER::set_node_name(int index, const char* name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_node_name");
  scope.add_argument(index);
  scope.add_argument(name);
  NODE_TYPE* node = node_at(index);
  if (!node || !name || !*name || uniq_names().count(name)) return false;
  if (node->display_type != SDR_DTYPE_STANDALONE_NODE && node->display_type != SDR_DTYPE_GROUP_MEMBER_NODE &&
      node->display_type != SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
    return false;
  const std::string old_name = node->name;
  uniq_names().erase(old_name);
  if (!SDR_TX_SIGNAL_NODES::set_node_name(index, name) || node_at(index)->name.empty()) {
    uniq_names().insert(old_name);
    return false;
  }
  uniq_names().insert(name);
  if (m_tx_the_other_signal_nodes && !m_renaming_for_other)
    m_tx_the_other_signal_nodes->rename_all_node_name(old_name.c_str(), name);
  return true;
}

bool SDR_TX_TRIGGER::set_node_alias(int index, const char* alias) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_node_alias");
  scope.add_argument(index);
  scope.add_argument(alias);
  NODE_TYPE* node = node_at(index);
  if (!node || !alias || node->alias == alias || (*alias && uniq_names().count(alias))) return false;
  const std::string old_alias = node->alias;
  if (!SDR_TX_SIGNAL_NODES::set_node_alias(index, alias)) return false;
  if (!old_alias.empty()) uniq_names().erase(old_alias);
  if (*alias) uniq_names().insert(alias);
  node = node_at(index);
  // Without an old alias the levels named the wire by its name, which it
  // keeps.
  if (!is_group_type(node->display_type) && !old_alias.empty() && old_alias != node->name) {
    const std::string new_name = *alias ? alias : node->name;
    if (rename_advanced_signal(old_alias.c_str(), new_name.c_str()) && m_tx_undo_manager)
      m_tx_undo_manager->add_atomic_action(
          new SDR_TX_UNDO_ACTION_RENAME_ADV_SIGNAL(this, old_alias, new_name));
  }
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  if (other && !m_renaming_for_other && !is_group_type(node->display_type)) {
    // The rows of this node on the data tab, found by name: an old alias
    // that is empty would name every row without one.
    for (int i = 0; i < other->get_node_count(); ++i) {
      if (is_group_type(other->get_node_display_type(i))) continue;
      const char* row_name = other->get_node_name(i);
      if (row_name && node->name == row_name) other->SDR_TX_SIGNAL_NODES::set_node_alias(i, alias);
    }
  }
  return true;
}

int SDR_TX_TRIGGER::copy_before_node(int first, int last, int before, bool into_group) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "copy_before_node");
  scope.add_argument(first);
  scope.add_argument(last);
  scope.add_argument(before);
  scope.add_argument(into_group);
  // Nodes are not copied on the setup tab.
  return -1;
}

bool SDR_TX_TRIGGER::rename_node_name(const char* old_name, const char* new_name) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "rename_node_name");
  scope.add_argument(old_name);
  scope.add_argument(new_name);
  if (!SDR_CHECK_AS(old_name != nullptr, "old_name != NULL") || !*old_name) return false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = node_at(i);
    if (is_group_type(node->display_type) || (node->name != old_name && node->alias != old_name)) continue;
    m_renaming_for_other = true;
    const bool ok = set_node_name(i, new_name);
    m_renaming_for_other = false;
    return ok;
  }
  return false;
}

bool SDR_TX_TRIGGER::rename_node_alias(const char* old_alias, const char* new_alias) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "rename_node_alias");
  scope.add_argument(old_alias);
  scope.add_argument(new_alias);
  if (!SDR_CHECK_AS(old_alias != nullptr, "old_alias != NULL") || !*old_alias) return false;
  for (int i = 0; i < get_node_count(); ++i) {
    const NODE_TYPE* node = node_at(i);
    if (is_group_type(node->display_type) || (node->name != old_alias && node->alias != old_alias)) continue;
    m_renaming_for_other = true;
    const bool ok = set_node_alias(i, new_alias);
    m_renaming_for_other = false;
    return ok;
  }
  return false;
}

bool SDR_TX_TRIGGER::rename_advanced_signal(const char* old_name, const char* new_name) {
  if (!old_name || !*old_name || !new_name || !*new_name || std::strcmp(old_name, new_name) == 0)
    return false;
  bool changed = false;
  const SIGNAL_RENAME* last = m_signal_renames.empty() ? nullptr : &m_signal_renames.back();
  if (last && last->from == new_name && last->to == old_name) {
    // Back to what the last rename found.
    for (const SIGNAL_RENAME::LEAF& leaf : last->leaves) {
      const TRIGGER_LEVEL_CONFIGURATION* record = level_record(leaf.level);
      SDR_TX_TREE_OBJECT* node = record ? tree_node_at(record->m_advanced_condition, leaf.path) : nullptr;
      if (node && node->get_num_children() == 0 && node->rename_signal(old_name, new_name)) changed = true;
    }
    for (const SIGNAL_RENAME::TEXT& text : last->texts) {
      TRIGGER_LEVEL_CONFIGURATION* record = level_record(text.level);
      if (record && record->expression == text.after) {
        record->expression = text.before;
        changed = true;
      }
    }
    m_signal_renames.pop_back();
    return changed;
  }
  SIGNAL_RENAME rename{old_name, new_name, {}, {}};
  for (size_t level = 0; level < m_trigger_level_config_vec.size(); ++level) {
    TRIGGER_LEVEL_CONFIGURATION& record = m_trigger_level_config_vec[level];
    std::string text;
    if (ATG_ADVANCED_TRIGGER_UTILITY::rename_signal(record.expression, old_name, new_name, &text)) {
      rename.texts.push_back(SIGNAL_RENAME::TEXT{static_cast<int>(level), record.expression, text});
      record.expression = text;
    }
    if (!record.m_advanced_condition) continue;
    // Depth first with one path, so that a deep tree costs no more than its
    // size.
    std::vector<std::pair<SDR_TX_TREE_OBJECT*, int>> stack{{record.m_advanced_condition, 0}};
    std::vector<int> path;
    while (!stack.empty()) {
      SDR_TX_TREE_OBJECT* node = stack.back().first;
      const int next = stack.back().second;
      const int count = node->get_num_children();
      if (count == 0 && node->rename_signal(old_name, new_name))
        rename.leaves.push_back(SIGNAL_RENAME::LEAF{static_cast<int>(level), path});
      SDR_TX_TREE_OBJECT* child = next < count ? node->get_child(next) : nullptr;
      if (next < count) {
        ++stack.back().second;
        if (!child) continue;
        stack.emplace_back(child, 0);
        path.push_back(next);
        continue;
      }
      stack.pop_back();
      if (!path.empty()) path.pop_back();
    }
  }
  if (rename.leaves.empty() && rename.texts.empty()) return false;
  if (m_signal_renames.size() >= SIGNAL_RENAMES_KEPT) m_signal_renames.erase(m_signal_renames.begin());
  m_signal_renames.push_back(std::move(rename));
  return true;
}

void SDR_TX_TRIGGER::set_instance_index(int index) {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "set_instance_index");
  scope.add_argument(index);
  m_instance_index = index;
}

void SDR_TX_TRIGGER::recount_data_trigger_width() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "recount_data_trigger_width");
  count_widths();
}

void SDR_TX_TRIGGER::sync_upon_capture_type_change() {
  SDR_TX_RECORD(scope, m_script_recorder, m_instance_index, m_setup_tab, "sync_upon_capture_type_change");
  if (!m_capture_type_changed) return;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  {
    // The mirroring is no user edit of its own: an empty action.
    SDR_TX_UNDO_MANAGER* own = m_tx_undo_manager;
    if (own && (own->is_action_open() || own->is_undo_redo_in_progress())) own = nullptr;
    SDR_TX_ACTION_BRACKET bracket(own);
    SDR_TX_REPLAY_GUARD quiet(m_tx_undo_manager);
    for (const auto& node : m_node_vec) {
      if (!node->mark) continue;
      node->mark = false;
      if (!other || is_group_type(node->display_type)) continue;
      if (node->capture_type == SDR_CTYPE_TRIGGER)
        other->delete_node(node->name.c_str());
      else
        other->append_node_uniq_name(node.get());
    }
  }
  m_capture_type_changed = false;
}
