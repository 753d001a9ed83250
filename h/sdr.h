#ifndef SDR_H
#define SDR_H

// Umbrella header: every public header of the repository library.

#include "atg_compiler.h"
#include "cfg_service.h"
#include "msg_service.h"
#include "path_util.h"
#include "platform_mutex.h"
#include "sdr_basic.h"
#include "sdr_data_export.h"
#include "sdr_data_global_enum.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_manager.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_name_map_export.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_export.h"
#include "sdr_msgs.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_script_recorder.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_tree_object.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_undo_manager.h"
#include "sdr_tzo_signal_set.h"
#include "sdr_tzo_trigger.h"
#include "sdr_xerces_fwd.h"

#endif
