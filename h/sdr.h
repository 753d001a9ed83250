#ifndef SDR_H
#define SDR_H

// Umbrella header: every public header of the repository library.

#include "cfg_service.h"
#include "msg_service.h"
#include "path_util.h"
#include "platform_mutex.h"
#include "sdr_data_global_enum.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_export.h"
#include "sdr_msgs.h"
#include "sdr_xerces_fwd.h"

#endif
