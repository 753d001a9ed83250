// Node lists of the two tabs: append and delete, groups, move and copy,
// the other tab and debug port names.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_internal.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_nodes_internal.h"
#include "sdr_tx_undo_manager.h"

namespace {

bool is_attached(const VIEW_NODE* node) {
  return node && node->get_dom_node() && node->get_dom_node()->getParentNode();
}

// The number after the last "[" (or, without one, the last "_") of a member
// name, and the text before it; false when no digit follows.
bool split_member_name(const std::string& name, std::string* base, long* number) {
  size_t pos = name.rfind('[');
  if (pos == std::string::npos) pos = name.rfind('_');
  if (pos == std::string::npos || pos + 1 >= name.size()) return false;
  const char next = name[pos + 1];
  if (next < '0' || next > '9') return false;
  *base = name.substr(0, pos);
  *number = std::strtol(name.c_str() + pos + 1, nullptr, 10);
  return true;
}

}  // namespace

// ------------------------------------------------------------ append and delete

bool SDR_TX_SIGNAL_NODES::append_node(const char* name, SDR_DATA_SIGNAL_TYPE signal_type,
                                      SDR_DATA_WIRE_TAP_MODE tap_mode) {
  NODES_RECORD("append_node");
  record_scope.add_argument(name);
  record_scope.add_argument(signal_type);
  record_scope.add_argument(tap_mode);
  if (!SDR_CHECK(name != NULL) || !*name) return false;
  NODE_TYPE* node = new NODE_TYPE;
  node->name = name;
  node->display_type = SDR_DTYPE_STANDALONE_NODE;
  node->signal_type = signal_type;
  node->tap_mode = tap_mode;
  node->capture_type = SDR_CTYPE_BOTH;
  node->data_wire_index = m_next_data_wire_index++;
  node->trigger_wire_index = m_next_trigger_wire_index++;
  return append_node(node, false);
}

bool SDR_TX_SIGNAL_NODES::append_node(NODE_TYPE* node, bool clone) {
  if (!SDR_CHECK(node != NULL)) return false;
  std::unique_ptr<NODE_TYPE> row(clone ? clone_node(node).release() : node);
  // A row from elsewhere (the other tab, an old view) brings no view node.
  VIEW_NODE* vn = view_node_in(row.get(), m_data_view);
  if (!vn || is_attached(vn)) row->data_view_node = nullptr;
  row->mark = false;
  const bool group = is_group_type(row->display_type);
  if (!group && !is_member_type(row->display_type)) row->display_type = SDR_DTYPE_STANDALONE_NODE;
  if (!group) {
    if (has_data(row->capture_type)) ++m_data_wire_count;
    if (has_trigger(row->capture_type)) ++m_trigger_wire_count;
    if (m_tx_change_status) {
      if (row->tap_mode == SDR_MTYPE_PROBEONLY_TAP)
        m_tx_change_status->m_node_changed_pinwatch = true;
      else
        m_tx_change_status->m_node_changed_full = true;
    }
  }
  name_added(row.get());
  m_view_changed = true;
  const int index = get_node_count();
  const NODE_TYPE* appended = row.get();
  m_node_vec.push_back(std::move(row));
  if (!is_replaying()) push_action(new SDR_TX_UNDO_ACTION_APPEND(this, index, appended));
  return true;
}

bool SDR_TX_SIGNAL_NODES::append_node_uniq_name(NODE_TYPE* node) {
  NODES_RECORD("append_node_uniq_name");
  if (!SDR_CHECK_AS(node != NULL, "this_node != NULL")) return false;
  record_scope.add_argument(node->name);
  if (count_name(node->name.c_str()) > 0) return false;
  return append_node(node, true);
}

bool SDR_TX_SIGNAL_NODES::delete_node(const char* name) {
  NODES_RECORD("delete_node");
  record_scope.add_argument(name);
  const int index = find_wire_node(name);
  if (index < 0) return false;
  return delete_rows(index, index) > 0;
}

int SDR_TX_SIGNAL_NODES::delete_node(int first, int last) {
  NODES_RECORD("delete_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  return delete_rows(first, last);
}

int SDR_TX_SIGNAL_NODES::delete_node_base(int first, int last) {
  NODES_RECORD("delete_node_base");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  return delete_rows(first, last);
}

int SDR_TX_SIGNAL_NODES::take_rows(int first, int last, NODE_VEC* taken) {
  NODES_RECORD("delete_node_base");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  return delete_rows(first, last, taken);
}

int SDR_TX_SIGNAL_NODES::delete_rows(int first, int last, NODE_VEC* taken) {
  if (!SDR_CHECK(first >= 0 && last >= 0)) return 0;
  if (first > last) std::swap(first, last);
  const int count = get_node_count();
  if (last >= count) return 0;
  // The range follows the groups: a group row whose members run past the
  // range stays when it starts the range, and is taken whole elsewhere; a
  // range holding every member of a group takes its row as well.
  const NODE_TYPE* head = node_at(first);
  if (is_group_type(head->display_type) && group_last(first) > last) {
    ++first;
  } else if (is_member_type(head->display_type) && first > 0 &&
             is_group_type(node_at(first - 1)->display_type) && group_last(first - 1) <= last) {
    --first;
  }
  for (int i = first; i <= last; ++i) {
    if (!is_group_type(node_at(i)->display_type)) continue;
    const int end = group_last(i);
    if (end > last) last = end;
    i = end;
  }
  if (first > last) return 0;
  // Removing the tail of a group whose first members stay: the last that
  // stays becomes the last member.
  if (first > 0 && node_at(first - 1)->display_type == SDR_DTYPE_GROUP_MEMBER_NODE &&
      is_member_type(node_at(first)->display_type)) {
    int i = first;
    while (i <= last && node_at(i)->display_type == SDR_DTYPE_GROUP_MEMBER_NODE) ++i;
    if (i <= last && node_at(i)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
      node_at(first - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
  }
  NODE_VEC deleted;
  deleted.reserve(static_cast<size_t>(last - first + 1));
  for (int i = first; i <= last; ++i) {
    NODE_TYPE* node = node_at(i);
    if (!is_group_type(node->display_type)) {
      if (has_data(node->capture_type)) --m_data_wire_count;
      if (has_trigger(node->capture_type)) --m_trigger_wire_count;
      flag_node_change(node);
    } else {
      flag_presentation_change();
    }
    detach_view_node(node);
    name_removed(node);
    deleted.push_back(std::move(m_node_vec[static_cast<size_t>(i)]));
  }
  m_node_vec.erase(m_node_vec.begin() + first, m_node_vec.begin() + last + 1);
  const int removed = last - first + 1;
  if (taken)
    *taken = std::move(deleted);
  else
    push_action(new SDR_TX_UNDO_ACTION_DELETE(this, first, last, std::move(deleted)));
  return removed;
}

bool SDR_TX_SIGNAL_NODES::insert_deleted_before_node(int index, const NODE_VEC& nodes) {
  if (!SDR_CHECK(index >= 0 && index <= get_node_count())) return false;
  if (nodes.empty()) return true;
  NODE_VEC rows;
  rows.reserve(nodes.size());
  for (const auto& node : nodes) {
    std::unique_ptr<NODE_TYPE> row = clone_node(node.get());
    VIEW_NODE* vn = view_node_in(row.get(), m_data_view);
    if (!vn || is_attached(vn)) row->data_view_node = nullptr;
    if (!is_group_type(row->display_type)) {
      if (has_data(row->capture_type)) ++m_data_wire_count;
      if (has_trigger(row->capture_type)) ++m_trigger_wire_count;
    }
    name_added(row.get());
    rows.push_back(std::move(row));
  }
  const int count = static_cast<int>(rows.size());
  m_node_vec.insert(m_node_vec.begin() + index, std::make_move_iterator(rows.begin()),
                    std::make_move_iterator(rows.end()));
  if (index > 0 && node_at(index - 1)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE &&
      is_member_type(node_at(index)->display_type))
    node_at(index - 1)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
  for (int i = index; i < index + count; ++i) place_view_node(i, true);
  return true;
}

// ------------------------------------------------------------ groups

SDR_TX_SIGNAL_NODES::NODE_TYPE* SDR_TX_SIGNAL_NODES::build_group_row(int first, int last) {
  NODE_TYPE* group = new NODE_TYPE;
  bool consistent = true;
  std::string base;
  long min_number = 0, max_number = 0;
  int min_updates = 0, max_updates = 0;
  for (int i = first; i <= last && consistent; ++i) {
    std::string member_base;
    long number = 0;
    if (!split_member_name(node_at(i)->name, &member_base, &number)) {
      consistent = false;
      break;
    }
    if (i == first) {
      base = member_base;
      min_number = max_number = number;
      continue;
    }
    if (member_base != base) consistent = false;
    if (number < min_number) {
      min_number = number;
      ++min_updates;
    }
    if (number > max_number) {
      max_number = number;
      ++max_updates;
    }
  }
  if (consistent) {
    char range[64];
    const bool ascending = max_updates > min_updates;
    std::snprintf(range, sizeof range, "[%ld..%ld]", ascending ? min_number : max_number,
                  ascending ? max_number : min_number);
    group->name = base + range;
    group->lsb_to_msb = ascending;
  } else {
    group->name = "Group";
    group->lsb_to_msb = true;
  }
  group->display_type = SDR_DTYPE_COLLAPSE_GROUP_NODE;
  group->signal_type = node_at(last)->signal_type;
  return group;
}

bool SDR_TX_SIGNAL_NODES::group_node(int first, int last, NODE_TYPE* group) {
  NODES_RECORD("group_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  if (!SDR_CHECK(first >= 0 && last >= 0)) return false;
  if (first > last) std::swap(first, last);
  if (last >= get_node_count()) return false;
  for (int i = first; i <= last; ++i)
    if (node_at(i)->display_type != SDR_DTYPE_STANDALONE_NODE) return false;
  std::unique_ptr<NODE_TYPE> row(group ? clone_node(group).release() : build_group_row(first, last));
  if (!is_group_type(row->display_type)) row->display_type = SDR_DTYPE_COLLAPSE_GROUP_NODE;
  if (row->name.empty()) row->name = "Group";
  row->data_wire_index = row->trigger_wire_index = -1;
  row->mark = row->no_wire = false;
  // The bus: the one of the record when it is free (redo keeps the same
  // element), else a new one, when some member is in the view.
  VIEW_NODE* bus = nullptr;
  VIEW_NODE* first_vn = nullptr;
  for (int i = first; i <= last && !first_vn; ++i) first_vn = view_node_in(node_at(i), m_data_view);
  if (first_vn) {
    bus = view_node_in(row.get(), m_data_view);
    if (!bus || !bus->is_bus() || is_attached(bus))
      bus = adopt_view_node(make_view_node(row.get(), m_data_view));
  }
  row->data_view_node = bus;
  if (bus) {
    first_vn->insert_before(bus);
    sync_view_node(row.get());
  }
  for (int i = first; i <= last; ++i) {
    NODE_TYPE* member = node_at(i);
    member->display_type = i == last ? SDR_DTYPE_LAST_GROUP_MEMBER_NODE : SDR_DTYPE_GROUP_MEMBER_NODE;
    if (bus) {
      if (VIEW_NODE* vn = view_node_in(member, m_data_view)) bus->append_child(vn);
    }
  }
  name_added(row.get());
  std::unique_ptr<NODE_TYPE> copy = clone_node(row.get());
  m_node_vec.insert(m_node_vec.begin() + first, std::move(row));
  flag_presentation_change();
  push_action(new SDR_TX_UNDO_ACTION_GROUP(this, first, last, copy.release()));
  return true;
}

bool SDR_TX_SIGNAL_NODES::ungroup_node(int index) {
  NODES_RECORD("ungroup_node");
  record_scope.add_argument(index);
  NODE_TYPE* node = node_at(index);
  if (!node || !is_group_type(node->display_type)) return false;
  if (node->group_linking != SDR_LTYPE_NONE && !is_replaying() && !m_link_suspended &&
      m_tx_the_other_signal_nodes) {
    SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
    const int j = other->find_group_node(node->name.c_str());
    if (j >= 0) {
      other->push_node_image(j);
      NODE_TYPE* target = other->node_at(j);
      target->group_linking = SDR_LTYPE_NONE;
      other->sync_view_node(target);
      other->ungroup_node(j);
    }
  }
  const int last = group_last(index);
  VIEW_NODE* bus = view_node_in(node, m_data_view);
  for (int i = index + 1; i <= last; ++i) {
    NODE_TYPE* member = node_at(i);
    member->display_type = SDR_DTYPE_STANDALONE_NODE;
    if (bus) {
      if (VIEW_NODE* vn = view_node_in(member, m_data_view)) bus->insert_before(vn);
    }
  }
  detach_view_node(node);
  std::unique_ptr<NODE_TYPE> copy = clone_node(node);
  name_removed(node);
  m_node_vec.erase(m_node_vec.begin() + index);
  flag_presentation_change();
  push_action(new SDR_TX_UNDO_ACTION_UNGROUP(this, index, last - 1, copy.release()));
  return true;
}

bool SDR_TX_SIGNAL_NODES::link_group_node(int index, SDR_DATA_GROUP_LINKING_TYPE linking) {
  NODES_RECORD("link_group_node");
  record_scope.add_argument(index);
  record_scope.add_argument(linking);
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  if (!SDR_CHECK_AS(other != NULL, "target_nodes != NULL")) return false;
  if (!SDR_CHECK_AS(index >= 0, "group_node_index >= 0")) return false;
  NODE_TYPE* node = node_at(index);
  if (linking == SDR_LTYPE_NONE || !node || !is_group_type(node->display_type)) return false;
  push_node_image(index);
  const int last = group_last(index);
  std::vector<std::string> names;
  for (int i = index + 1; i <= last; ++i) names.push_back(node_at(i)->name);
  // 1. The members leave their groups on the other tab.
  for (const std::string& name : names) {
    const int j = other->find_wire_node(name.c_str());
    if (j < 0 || !is_member_type(other->node_at(j)->display_type)) continue;
    const int g = other->find_parent_group_node(j);
    if (g < 0) continue;
    other->push_node_image(g);
    other->node_at(g)->group_linking = SDR_LTYPE_NONE;
    other->ungroup_node(g);
  }
  // 2. They come together in member order.
  int pos = -1, found = 0;
  for (const std::string& name : names) {
    const int j = other->find_wire_node(name.c_str());
    if (j < 0) continue;
    ++found;
    if (pos < 0 || j == pos + 1) {
      pos = j;
      continue;
    }
    const int rc = other->move_before_node(j, j, pos + 1, false);
    if (!SDR_CHECK(rc >= 0)) return false;
    if (j > pos) ++pos;
  }
  if (found == 0) return false;
  // 3. They are grouped there under this group's name.
  const int first_other = pos - found + 1;
  if (!other->group_node(first_other, pos, nullptr)) return false;
  const int g = first_other;
  std::string accepted = node->name;
  for (int n = 1; other->node_at(g)->name != accepted && !other->set_group_node_name(g, accepted.c_str());
       ++n) {
    if (n > 100000) break;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, " (%d)", n);
    accepted = node->name + suffix;
  }
  if (accepted != node->name) set_group_node_name(index, other->node_at(g)->name.c_str());
  NODE_TYPE* target = other->node_at(g);
  other->push_node_image(g);
  // 4. Linked aspects follow this group.
  if (linking & SDR_LTYPE_RADIX) {
    target->group_display_type = node->group_display_type;
    target->mnemonics_table_name = node->mnemonics_table_name;
  }
  if (linking & SDR_LTYPE_BIT_ORDER) target->lsb_to_msb = node->lsb_to_msb;
  // 5. Both rows keep the link.
  node->group_linking = linking;
  target->group_linking = linking;
  sync_view_node(node);
  other->sync_view_node(target);
  push_node_image(index);
  other->push_node_image(g);
  m_view_changed = true;
  other->m_view_changed = true;
  flag_presentation_change();
  return true;
}

// ------------------------------------------------------------ move and copy

void SDR_TX_SIGNAL_NODES::node_block_swap(int first, int middle, int last) {
  if (first < 0 || middle < first || last <= middle || last >= get_node_count()) return;
  std::rotate(m_node_vec.begin() + first, m_node_vec.begin() + middle + 1, m_node_vec.begin() + last + 1);
}

int SDR_TX_SIGNAL_NODES::move_before_node(int first, int last, int before, bool into_group) {
  NODES_RECORD("move_before_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  record_scope.add_argument(before);
  record_scope.add_argument(into_group);
  if (!SDR_CHECK(first >= 0 && last >= 0 && before >= 0)) return -1;
  if (first > last) std::swap(first, last);
  const int count = get_node_count();
  if (last >= count || before > count || (before > first && before <= last)) return -1;
  const int n = last - first + 1;
  // The rows around the block's new place, the block left out.
  const int place = before <= first ? before : before - n;
  auto outside = [&](int k) -> NODE_TYPE* {  // k-th row of the list without the block
    if (k < 0 || k >= count - n) return nullptr;
    return node_at(k < first ? k : k + n);
  };
  const NODE_TYPE* prev = outside(place - 1);
  const NODE_TYPE* next = outside(place);
  // Groups stay whole: a group row moves with all its members, and a group
  // is not left empty.
  for (int i = first; i <= last; ++i) {
    if (!is_group_type(node_at(i)->display_type)) continue;
    if (into_group) return -1;
    const int end = group_last(i);
    if (end > last) return -1;
    i = end;
  }
  const bool leaves_tail = is_member_type(node_at(first)->display_type) && [&] {
    for (int i = first; i <= last; ++i) {
      if (node_at(i)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE) return true;
      if (!is_member_type(node_at(i)->display_type)) return false;
    }
    return false;
  }();
  if (leaves_tail && first > 0 && is_group_type(node_at(first - 1)->display_type)) {
    // Every member would go: allowed only when they stay in that group.
    if (!(into_group && before == first)) return -1;
  }
  if (into_group) {
    if (!prev || !(is_group_type(prev->display_type) || is_member_type(prev->display_type))) return -1;
  } else if (next && is_member_type(next->display_type)) {
    return -1;
  }
  mirror_linked_move(first, last, before, into_group);
  const bool group_flag = is_member_type(node_at(first)->display_type);
  DISPLAY_TYPES types;
  if (first > 0) types.emplace_back(first - 1, node_at(first - 1)->display_type);
  for (int i = first; i <= last; ++i) types.emplace_back(i, node_at(i)->display_type);
  if (prev) {
    const int k = place - 1;
    const int prev_index = k < first ? k : k + n;
    if (prev_index != first - 1) types.emplace_back(prev_index, prev->display_type);
  }
  // Display types, fixed where the rows stand.
  if (!into_group) {
    for (int i = first; i <= last; ++i) {
      NODE_TYPE* row = node_at(i);
      if (row->display_type == SDR_DTYPE_GROUP_MEMBER_NODE) {
        row->display_type = SDR_DTYPE_STANDALONE_NODE;
      } else if (row->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE) {
        row->display_type = SDR_DTYPE_STANDALONE_NODE;
        if (first > 0 && is_member_type(node_at(first - 1)->display_type))
          node_at(first - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
        break;
      } else {
        break;
      }
    }
  } else {
    if (leaves_tail && first > 0 && node_at(first - 1)->display_type == SDR_DTYPE_GROUP_MEMBER_NODE)
      node_at(first - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
    for (int i = first; i <= last; ++i) node_at(i)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
    // The block ends the group when nothing of the group follows it.
    NODE_TYPE* prev_row = const_cast<NODE_TYPE*>(prev);
    if (!next || !is_member_type(next->display_type)) {
      if (prev_row->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
        prev_row->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
      node_at(last)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
    }
  }
  int result;
  if (before > last) {
    node_block_swap(first, last, before - 1);
    result = before;
  } else {
    if (before < first) node_block_swap(before, first - 1, last);
    result = before + n;
  }
  const int new_first = before > last ? before - n : before;
  for (int i = new_first; i < new_first + n; ++i) place_view_node(i, false);
  flag_presentation_change();
  SDR_TX_UNDO_ACTION_MOVE* action =
      new SDR_TX_UNDO_ACTION_MOVE(this, first, last, before, into_group, group_flag);
  action->set_display_types(std::move(types));
  push_action(action);
  return result;
}

bool SDR_TX_SIGNAL_NODES::restore_moved_block(int first, int last, int before, const DISPLAY_TYPES& types) {
  NODES_RECORD("restore_moved_block");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  record_scope.add_argument(before);
  const int count = get_node_count();
  if (first < 0 || first > last || last >= count || before < 0 || before > count) return false;
  const int n = last - first + 1;
  if (before > last + 1) {
    std::rotate(m_node_vec.begin() + first, m_node_vec.begin() + (before - n), m_node_vec.begin() + before);
  } else if (before < first) {
    std::rotate(m_node_vec.begin() + before, m_node_vec.begin() + before + n, m_node_vec.begin() + last + 1);
  }
  for (const auto& entry : types)
    if (NODE_TYPE* row = node_at(entry.first)) row->display_type = entry.second;
  for (int i = first; i <= last; ++i) place_view_node(i, false);
  flag_presentation_change();
  return true;
}

void SDR_TX_SIGNAL_NODES::mirror_linked_move(int first, int last, int before, bool into_group) {
  // Called before the move: a block moved inside one group linked by wire
  // order moves the same way in the group of that name on the other tab.
  if (!into_group || is_replaying() || m_link_suspended || !m_tx_the_other_signal_nodes) return;
  const int g = find_parent_group_node(first);
  if (g < 0) return;
  const int end = group_last(g);
  NODE_TYPE* group = node_at(g);
  if (last > end || before <= g || before > end + 1 || !(group->group_linking & SDR_LTYPE_WIRE_ORDER)) return;
  SDR_TX_SIGNAL_NODES* other = m_tx_the_other_signal_nodes;
  const int j = other->find_group_node(group->name.c_str());
  if (j < 0) return;
  const int other_end = other->group_last(j);
  const int of = j + (first - g), ol = j + (last - g), ob = j + (before - g);
  if (ol > other_end || ob > other_end + 1) return;
  other->push_node_image(j);
  other->m_link_suspended = true;
  other->move_before_node(of, ol, ob, true);
  other->m_link_suspended = false;
  other->push_node_image(j);
}

int SDR_TX_SIGNAL_NODES::copy_before_node(int first, int last, int before, bool into_group) {
  NODES_RECORD("copy_before_node");
  record_scope.add_argument(first);
  record_scope.add_argument(last);
  record_scope.add_argument(before);
  record_scope.add_argument(into_group);
  if (!SDR_CHECK(first >= 0 && last >= 0 && before >= 0)) return -1;
  if (first > last) std::swap(first, last);
  const int count = get_node_count();
  if (last >= count || before > count || (before > first && before <= last)) return -1;
  const int n = last - first + 1;
  for (int i = first; i <= last; ++i) {
    if (!is_group_type(node_at(i)->display_type)) continue;
    if (into_group) return -1;
    const int end = group_last(i);
    if (end > last) return -1;
    i = end;
  }
  const NODE_TYPE* prev = node_at(before - 1);
  const NODE_TYPE* next = node_at(before);
  if (into_group) {
    if (!prev || !(is_group_type(prev->display_type) || is_member_type(prev->display_type))) return -1;
  } else if (next && is_member_type(next->display_type)) {
    return -1;
  }
  NODE_VEC copies;
  copies.reserve(static_cast<size_t>(n));
  std::vector<VIEW_NODE*> bus_children;  // the cloned members of the last copied group
  size_t child = 0;
  for (int i = first; i <= last; ++i) {
    const NODE_TYPE* source = node_at(i);
    std::unique_ptr<NODE_TYPE> copy = clone_node(source);
    copy->data_view_node = nullptr;
    copy->mark = false;
    VIEW_NODE* vn = view_node_in(source, m_data_view);
    if (is_group_type(source->display_type)) {
      bus_children.clear();
      child = 0;
      if (vn) {
        copy->data_view_node = adopt_view_node(vn->clone(true));
        if (copy->data_view_node) {
          std::unique_ptr<VIEW_NODE> c(copy->data_view_node->get_first_child());
          while (c) {
            std::unique_ptr<VIEW_NODE> next_c(c->get_next_sibling());
            bus_children.push_back(adopt_view_node(c.release()));
            c = std::move(next_c);
          }
        }
      }
    } else if (is_member_type(source->display_type) && child < bus_children.size() && i > first &&
               find_parent_group_node(i) >= first) {
      copy->data_view_node = bus_children[child++];
    } else if (vn) {
      copy->data_view_node = adopt_view_node(vn->clone(true));
    }
    name_added(copy.get());
    if (!is_group_type(copy->display_type)) {
      if (has_data(copy->capture_type)) ++m_data_wire_count;
      if (has_trigger(copy->capture_type)) ++m_trigger_wire_count;
    }
    copies.push_back(std::move(copy));
  }
  m_node_vec.insert(m_node_vec.begin() + before, std::make_move_iterator(copies.begin()),
                    std::make_move_iterator(copies.end()));
  if (!into_group) {
    for (int i = before; i < before + n && is_member_type(node_at(i)->display_type); ++i)
      node_at(i)->display_type = SDR_DTYPE_STANDALONE_NODE;
  } else {
    if (before > 0 && node_at(before - 1)->display_type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE)
      node_at(before - 1)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
    for (int i = before; i < before + n; ++i) node_at(i)->display_type = SDR_DTYPE_GROUP_MEMBER_NODE;
    const NODE_TYPE* after = node_at(before + n);
    if (!after || !is_member_type(after->display_type))
      node_at(before + n - 1)->display_type = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
  }
  for (int i = before; i < before + n; ++i) place_view_node(i, false);
  m_view_changed = true;
  flag_presentation_change();
  const int end = before + n;
  push_action(new SDR_TX_UNDO_ACTION_COPY(this, first, last, before, into_group, end));
  return end;
}

// ------------------------------------------------------------ other tab, names

void SDR_TX_SIGNAL_NODES::rebuild_uniq_name_set() {}

void SDR_TX_SIGNAL_NODES::set_the_other_signal_nodes(SDR_TX_SIGNAL_NODES* nodes) {
  if (!SDR_CHECK(nodes != NULL)) return;
  m_tx_the_other_signal_nodes = nodes;
}

void SDR_TX_SIGNAL_NODES::gen_debug_port_name(std::string* text, int n) const {
  if (!text) return;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "auto_tzo_debug_out_%d_%d", m_instance_index, n);
  *text = buffer;
}

void SDR_TX_SIGNAL_NODES::assign_data_wire_to_node(NODE_TYPE* node, SDR_DATA_SIGNAL_WIRE* wire) {
  if (!node || !wire) return;
  node->name = wire->get_name() ? wire->get_name() : "";
  node->alias = wire->get_alias() ? wire->get_alias() : "";
  node->signal_type = wire->get_signal_type();
  node->capture_type = wire->get_capture_type();
  node->tap_mode = wire->get_tap_mode();
  node->connection_status = wire->get_connection_status();
  node->debug_port = wire->is_debug_port();
  node->debug_port_name = wire->get_debug_port_name() ? wire->get_debug_port_name() : "";
  node->data_wire_index = wire->get_data_wire_index();
  node->trigger_wire_index = wire->get_trigger_wire_index();
}
