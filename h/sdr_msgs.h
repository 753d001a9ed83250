#ifndef SDR_MSGS_H
#define SDR_MSGS_H

// The repository's message table: one factory per message. Each factory
// returns a new message object owned by the caller.

#include "msg_service.h"
#include "sdr_export.h"

enum SDR_MSG_CODE {
  ESDR_SOURCE_GENERIC = 1,
  ESDR_SOURCE_INVALID_FORMAT = 2,
  WSDR_MISSING_NAME = 3,
  WSDR_DUPLICATE_NAME = 4,
  WSDR_EMPTY_SIGNAL_SET = 6,
  WSDR_DUPLICATE_SYMBOL = 8,
  WSDR_INVALID_SIGNAL_REF = 9,
  WSDR_INVALID_BUS_REF = 10,
  WSDR_INVALID_SYM_TABLE = 11,
  WSDR_INVALID_SYMBOL = 12,
  WSDR_COND_SYNTAX = 13,
  WSDR_TRIGGER_NOT_USED = 14
};

class SDR_API SDR_MSGS {
 public:
  static MSG_OBJECT* esdr_source_generic(const char* path, const char* text);
  static MSG_OBJECT* esdr_source_invalid_format();
  static MSG_OBJECT* wsdr_missing_name(const char* entity_kind);
  static MSG_OBJECT* wsdr_duplicate_name(const char* name);
  static MSG_OBJECT* wsdr_empty_signal_set();
  static MSG_OBJECT* wsdr_duplicate_symbol(const char* symbol, const char* value, const char* table,
                                           const char* rejected_value);
  static MSG_OBJECT* wsdr_invalid_signal_ref(const char* signal);
  static MSG_OBJECT* wsdr_invalid_bus_ref(const char* bus, const char* symbol_or_value,
                                          const char* condition);
  static MSG_OBJECT* wsdr_invalid_sym_table(const char* table);
  static MSG_OBJECT* wsdr_invalid_symbol(const char* symbol, const char* table);
  static MSG_OBJECT* wsdr_cond_syntax(const char* trigger, int level, const char* remaining);
  static MSG_OBJECT* wsdr_trigger_not_used(const char* signal, const char* trigger);

  // Posts the message to the default report and destroys it.
  static void post(MSG_OBJECT* msg);
};

#endif
