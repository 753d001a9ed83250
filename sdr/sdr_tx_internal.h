#ifndef SDR_TX_INTERNAL_H
#define SDR_TX_INTERNAL_H

// Helpers shared by the transaction units; not installed.

#include "sdr_internal.h"
#include "sdr_tx_script_recorder.h"

// Opens the record scope `scope` of the current operation and adds the
// location of the call.
#define SDR_TX_RECORD(scope, ...)         \
  SDR_TX_RECORD_SCOPE scope(__VA_ARGS__); \
  scope.add_location(__FILE__, __LINE__)

#endif
