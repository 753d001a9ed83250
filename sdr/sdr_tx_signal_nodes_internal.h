#ifndef SDR_TX_SIGNAL_NODES_INTERNAL_H
#define SDR_TX_SIGNAL_NODES_INTERNAL_H

// Helpers shared by the source files of the node lists; not installed.

#include <memory>
#include <string>

#include "sdr_data_signal_view.h"
#include "sdr_internal.h"
#include "sdr_tx_internal.h"
#include "sdr_tx_signal_nodes.h"

// Opens the record scope of a node-list operation.
#define NODES_RECORD(command) \
  SDR_TX_RECORD(record_scope, m_script_recorder, m_instance_index, m_setup_tab, command)

namespace {

using NODE = SDR_TX_SIGNAL_NODES::NODE_TYPE;
using VIEW_NODE = SDR_DATA_SIGNAL_VIEW_NODE;

inline bool is_group_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_EXPAND_GROUP_NODE || type == SDR_DTYPE_COLLAPSE_GROUP_NODE;
}
inline bool is_member_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_GROUP_MEMBER_NODE || type == SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
}
inline bool is_net_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_STANDALONE_NODE || is_member_type(type);
}
inline bool has_data(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_DATA || type == SDR_CTYPE_BOTH;
}
inline bool has_trigger(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH;
}

inline std::unique_ptr<NODE> clone_node(const NODE* node) {
  std::unique_ptr<NODE> copy(new NODE);
  SDR_TX_SIGNAL_NODES::copy_node_properties(node, copy.get());
  return copy;
}

inline std::string attribute_of(const VIEW_NODE* node, const char* name) {
  return sdr_get_attribute(node->get_dom_node(), name);
}

}  // namespace

#endif
