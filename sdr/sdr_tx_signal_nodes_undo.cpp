// Undo and redo bodies of the node-list actions (MOVE, COPY, GROUP, UNGROUP,
// DELETE, APPEND, SET_NODE).

#include <utility>

#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_nodes_internal.h"
#include "sdr_tx_undo_manager.h"

// ------------------------------------------------------------ undo actions

namespace {

// The change flags a row edit raises, from the two images.
void add_row_change_kind(const NODE* a, const NODE* b, SDR_TX_CHANGE_STATUS* flags) {
  if (!a || !b) return;
  const bool classic = b->tap_mode == SDR_MTYPE_CLASSIC_TAP && a->tap_mode == SDR_MTYPE_CLASSIC_TAP;
  const bool net = is_net_type(b->display_type);
  bool wire_change = false;
  if ((a->name != b->name && net) || a->capture_type != b->capture_type) {
    (classic ? flags->m_node_changed_full : flags->m_node_changed_pinwatch) = true;
    wire_change = true;
  }
  if (a->tap_mode != b->tap_mode || a->connection_status != b->connection_status) {
    flags->m_node_changed_full = true;
    wire_change = true;
  }
  if (a->debug_port != b->debug_port || a->debug_port_name != b->debug_port_name) {
    (b->tap_mode == SDR_MTYPE_CLASSIC_TAP ? flags->m_debug_port_changed_full
                                          : flags->m_debug_port_changed_pinwatch) = true;
    wire_change = true;
  }
  // Everything else a row shows, and the images of linked groups.
  if (!wire_change || a->alias != b->alias || a->signal_inverted != b->signal_inverted ||
      a->lsb_to_msb != b->lsb_to_msb || a->group_display_type != b->group_display_type ||
      a->mnemonics_table_name != b->mnemonics_table_name || a->display_type != b->display_type ||
      a->group_linking != b->group_linking || (a->name != b->name && !net))
    flags->m_presentation_changed = true;
}

void add_rows_change_kind(const NODE* row, SDR_TX_CHANGE_STATUS* flags) {
  if (!row) return;
  if (is_group_type(row->display_type)) {
    flags->m_presentation_changed = true;
    return;
  }
  if (row->tap_mode == SDR_MTYPE_CLASSIC_TAP)
    flags->m_node_changed_full = true;
  else
    flags->m_node_changed_pinwatch = true;
}

}  // namespace

SDR_TX_UNDO_ACTION_MOVE::SDR_TX_UNDO_ACTION_MOVE(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before,
                                                 bool move_flag, bool group_flag)
    : m_nodes(nodes),
      m_first(first),
      m_last(last),
      m_before(before),
      m_move_flag(move_flag),
      m_group_flag(group_flag) {}

bool SDR_TX_UNDO_ACTION_MOVE::undo() {
  if (!m_types.empty()) return m_nodes->restore_moved_block(m_first, m_last, m_before, m_types);
  const int n = m_last - m_first + 1;
  if (m_first < m_before)
    return m_nodes->move_before_node(m_before - n, m_before - 1, m_first, m_group_flag) >= 0;
  return m_nodes->move_before_node(m_before, m_before + n - 1, m_last + 1, m_group_flag) >= 0;
}

bool SDR_TX_UNDO_ACTION_MOVE::redo() {
  return m_nodes->move_before_node(m_first, m_last, m_before, m_move_flag) >= 0;
}

void SDR_TX_UNDO_ACTION_MOVE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_COPY::SDR_TX_UNDO_ACTION_COPY(SDR_TX_SIGNAL_NODES* nodes, int first, int last, int before,
                                                 bool copy_flag, int end)
    : m_nodes(nodes), m_first(first), m_last(last), m_before(before), m_copy_flag(copy_flag), m_end(end) {}

bool SDR_TX_UNDO_ACTION_COPY::undo() {
  // Exactly the copies: the data tab's rule that keeps one row of a name
  // is not for undo.
  return m_nodes->delete_node_base(m_end - 1 - (m_last - m_first), m_end - 1) > 0;
}

bool SDR_TX_UNDO_ACTION_COPY::redo() {
  return m_nodes->copy_before_node(m_first, m_last, m_before, m_copy_flag) >= 0;
}

void SDR_TX_UNDO_ACTION_COPY::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_GROUP::SDR_TX_UNDO_ACTION_GROUP(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                                                   SDR_TX_NODE* group)
    : m_nodes(nodes), m_first(first), m_last(last), m_group(group) {}

SDR_TX_UNDO_ACTION_GROUP::~SDR_TX_UNDO_ACTION_GROUP() = default;

bool SDR_TX_UNDO_ACTION_GROUP::undo() {
  return m_nodes->ungroup_node(m_first);
}

bool SDR_TX_UNDO_ACTION_GROUP::redo() {
  return m_nodes->group_node(m_first, m_last, m_group.get());
}

void SDR_TX_UNDO_ACTION_GROUP::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_UNGROUP::SDR_TX_UNDO_ACTION_UNGROUP(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                                                       SDR_TX_NODE* group)
    : m_nodes(nodes), m_first(first), m_last(last), m_group(group) {}

SDR_TX_UNDO_ACTION_UNGROUP::~SDR_TX_UNDO_ACTION_UNGROUP() = default;

bool SDR_TX_UNDO_ACTION_UNGROUP::undo() {
  return m_nodes->group_node(m_first, m_last, m_group.get());
}

bool SDR_TX_UNDO_ACTION_UNGROUP::redo() {
  return m_nodes->ungroup_node(m_first);
}

void SDR_TX_UNDO_ACTION_UNGROUP::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  flags->m_presentation_changed = true;
}

SDR_TX_UNDO_ACTION_DELETE::SDR_TX_UNDO_ACTION_DELETE(SDR_TX_SIGNAL_NODES* nodes, int first, int last,
                                                     SDR_TX_SIGNAL_NODES::NODE_VEC deleted)
    : m_nodes(nodes), m_first(first), m_last(last), m_deleted(std::move(deleted)) {}

SDR_TX_UNDO_ACTION_DELETE::~SDR_TX_UNDO_ACTION_DELETE() = default;

bool SDR_TX_UNDO_ACTION_DELETE::undo() {
  const bool ok = m_nodes->insert_deleted_before_node(m_first, m_deleted);
  m_nodes->rebuild_uniq_name_set();
  return ok;
}

bool SDR_TX_UNDO_ACTION_DELETE::redo() {
  const int removed = m_nodes->delete_node_base(m_first, m_last);
  m_nodes->rebuild_uniq_name_set();
  return removed >= 0;
}

void SDR_TX_UNDO_ACTION_DELETE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  for (const auto& row : m_deleted) add_rows_change_kind(row.get(), flags);
}

SDR_TX_UNDO_ACTION_APPEND::SDR_TX_UNDO_ACTION_APPEND(SDR_TX_SIGNAL_NODES* nodes, int index,
                                                     const SDR_TX_NODE* row)
    : m_nodes(nodes),
      m_index(index),
      m_view_node(row->data_view_node),
      m_data_wire_index(row->data_wire_index),
      m_trigger_wire_index(row->trigger_wire_index),
      m_tap_mode(row->tap_mode),
      m_group(is_group_type(row->display_type)),
      m_invalid(row->invalid) {
  if (m_group) m_node = clone_node(row);
}

SDR_TX_UNDO_ACTION_APPEND::~SDR_TX_UNDO_ACTION_APPEND() = default;

bool SDR_TX_UNDO_ACTION_APPEND::undo() {
  if (m_group) return true;
  SDR_TX_SIGNAL_NODES::NODE_VEC taken;
  const int removed = m_nodes->take_rows(m_index, m_index, &taken);
  m_nodes->rebuild_uniq_name_set();
  if (taken.size() == 1) {
    // The row as it was appended: every later edit of it has been undone;
    // what commits set on their own goes back too.
    m_node = std::move(taken.front());
    m_node->data_view_node = m_view_node;
    m_node->data_wire_index = m_data_wire_index;
    m_node->trigger_wire_index = m_trigger_wire_index;
    m_node->invalid = m_invalid;
    m_node->mark = false;
  }
  return removed >= 0;
}

bool SDR_TX_UNDO_ACTION_APPEND::redo() {
  if (!m_node) return false;
  const bool ok =
      m_group ? m_nodes->append_node(m_node.get(), true) : m_nodes->append_node(m_node.release(), false);
  m_nodes->rebuild_uniq_name_set();
  return ok;
}

void SDR_TX_UNDO_ACTION_APPEND::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  if (m_group) return;
  if (m_tap_mode == SDR_MTYPE_PROBEONLY_TAP)
    flags->m_node_changed_pinwatch = true;
  else
    flags->m_node_changed_full = true;
}

SDR_TX_UNDO_ACTION_SET_NODE::SDR_TX_UNDO_ACTION_SET_NODE(SDR_TX_SIGNAL_NODES* nodes, int index,
                                                         SDR_TX_NODE* old_node, SDR_TX_NODE* new_node)
    : m_nodes(nodes), m_index(index), m_old(old_node), m_new(new_node) {}

SDR_TX_UNDO_ACTION_SET_NODE::~SDR_TX_UNDO_ACTION_SET_NODE() = default;

bool SDR_TX_UNDO_ACTION_SET_NODE::undo() {
  const bool ok = m_nodes->restore_node_properties(m_index, m_old.get());
  // A row's name or alias is in the setup tab's set of unique names.
  if (m_old->name != m_new->name || m_old->alias != m_new->alias) m_nodes->rebuild_uniq_name_set();
  return ok;
}

bool SDR_TX_UNDO_ACTION_SET_NODE::redo() {
  const bool ok = m_nodes->restore_node_properties(m_index, m_new.get());
  if (m_old->name != m_new->name || m_old->alias != m_new->alias) m_nodes->rebuild_uniq_name_set();
  return ok;
}

void SDR_TX_UNDO_ACTION_SET_NODE::add_change_kind(SDR_TX_CHANGE_STATUS* flags) const {
  add_row_change_kind(m_old.get(), m_new.get(), flags);
}
