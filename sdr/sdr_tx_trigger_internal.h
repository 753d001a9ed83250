#ifndef SDR_TX_TRIGGER_INTERNAL_H
#define SDR_TX_TRIGGER_INTERNAL_H

// Helpers shared by the source files of the transaction trigger; not
// installed.

#include <string>

#include "sdr_data_global_enum.h"

namespace {

inline bool is_group_type(SDR_DATA_NODE_DISPLAY_TYPE type) {
  return type == SDR_DTYPE_EXPAND_GROUP_NODE || type == SDR_DTYPE_COLLAPSE_GROUP_NODE;
}

inline bool captures_trigger(SDR_DATA_WIRE_CAPTURE_TYPE type) {
  return type == SDR_CTYPE_TRIGGER || type == SDR_CTYPE_BOTH;
}

inline std::string text_of(const char* text) {
  return text ? text : "";
}

}  // namespace

#endif
