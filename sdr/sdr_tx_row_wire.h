#ifndef SDR_TX_ROW_WIRE_H
#define SDR_TX_ROW_WIRE_H

// The wire a node-list row names, for the walks of a commit over every
// row; not installed.

#include "sdr_data_signal_set.h"
#include "sdr_tx_signal_nodes.h"

// set->get_wire(name), name being the row's name (or its view node's): the
// row's places in the two lists, when they still hold the wire of that
// name, spare the lookup.
inline SDR_DATA_SIGNAL_WIRE* sdr_tx_row_wire(const SDR_DATA_SIGNAL_SET* set, const char* name,
                                             const SDR_TX_SIGNAL_NODES::NODE_TYPE* row) {
  return set->get_wire(name, row->data_wire_index, row->trigger_wire_index);
}

#endif
