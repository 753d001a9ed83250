#include "sdr_msgs.h"

#include "msg_service.h"

MSG_OBJECT* SDR_MSGS::esdr_source_generic(const char* path, const char* text) {
  MSG_OBJECT* msg = new MSG_ERROR(ESDR_SOURCE_GENERIC,
                                  "Tessaro II software encountered an error while reading Trazio II File "
                                  "%1!s!, with message \"%2!s!\"/ESDR_SOURCE_GENERIC");
  msg->add_arg(path);
  msg->add_arg(text);
  return msg;
}

MSG_OBJECT* SDR_MSGS::esdr_source_invalid_format() {
  return new MSG_ERROR(ESDR_SOURCE_INVALID_FORMAT,
                       "Trazio II File is not in valid format/ESDR_SOURCE_INVALID_FORMAT");
}

MSG_OBJECT* SDR_MSGS::wsdr_missing_name(const char* entity_kind) {
  MSG_OBJECT* msg =
      new MSG_WARNING(WSDR_MISSING_NAME, "Entity \"%1!s!\" doesn't have name/WSDR_MISSING_NAME");
  msg->add_arg(entity_kind);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_duplicate_name(const char* name) {
  MSG_OBJECT* msg = new MSG_WARNING(WSDR_DUPLICATE_NAME,
                                    "Created entity with duplicate name \"%1!s!\"/WSDR_DUPLICATE_NAME");
  msg->add_arg(name);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_empty_signal_set() {
  return new MSG_WARNING(WSDR_EMPTY_SIGNAL_SET, "Trazio II File requires signals/WSDR_EMPTY_SIGNAL_SET");
}

MSG_OBJECT* SDR_MSGS::wsdr_duplicate_symbol(const char* symbol, const char* value, const char* table,
                                            const char* rejected_value) {
  MSG_OBJECT* msg = new MSG_WARNING(WSDR_DUPLICATE_SYMBOL,
                                    "Symbol \"%1!s!\" has duplicate value \"%2!s!\" in mnemonic table "
                                    "\"%3!s!\" -- ignoring new value \"%4!s!\"/WSDR_DUPLICATE_SYMBOL");
  msg->add_arg(symbol);
  msg->add_arg(value);
  msg->add_arg(table);
  msg->add_arg(rejected_value);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_invalid_signal_ref(const char* signal) {
  MSG_OBJECT* msg = new MSG_WARNING(
      WSDR_INVALID_SIGNAL_REF, "Signal \"%1!s!\" does not exist in Trazio II File/WSDR_INVALID_SIGNAL_REF");
  msg->add_arg(signal);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_invalid_bus_ref(const char* bus, const char* symbol_or_value,
                                           const char* condition) {
  MSG_OBJECT* msg = new MSG_WARNING(WSDR_INVALID_BUS_REF,
                                    "Trigger condition \"%3!s!\" in Trazio II File contains undefined bus "
                                    "\"%1!s!\" with symbol or value \"%2!s!\"/WSDR_INVALID_BUS_REF");
  msg->add_arg(bus);
  msg->add_arg(symbol_or_value);
  msg->add_arg(condition);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_invalid_sym_table(const char* table) {
  MSG_OBJECT* msg =
      new MSG_WARNING(WSDR_INVALID_SYM_TABLE,
                      "Mnemonic table \"%1!s!\" does not exist in Trazio II File/WSDR_INVALID_SYM_TABLE");
  msg->add_arg(table);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_invalid_symbol(const char* symbol, const char* table) {
  MSG_OBJECT* msg = new MSG_WARNING(
      WSDR_INVALID_SYMBOL, "Symbol \"%1!s!\" does not exist in mnemonic table \"%2!s!\"/WSDR_INVALID_SYMBOL");
  msg->add_arg(symbol);
  msg->add_arg(table);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_cond_syntax(const char* trigger, int level, const char* remaining) {
  MSG_OBJECT* msg =
      new MSG_WARNING(WSDR_COND_SYNTAX,
                      "Condition expression defined in trigger \"%1!s!\" at level %2!d! contains "
                      "a syntax error -- stopping processing at string \"%3!s!\"/WSDR_COND_SYNTAX");
  msg->add_arg(trigger);
  msg->add_arg(level);
  msg->add_arg(remaining);
  return msg;
}

MSG_OBJECT* SDR_MSGS::wsdr_trigger_not_used(const char* signal, const char* trigger) {
  MSG_OBJECT* msg = new MSG_WARNING(WSDR_TRIGGER_NOT_USED,
                                    "Signal \"%1!s!\" exists in signal set and is defined as an input for "
                                    "triggering, but advanced trigger conditions in trigger \"%2!s!\" do not "
                                    "use the signal/WSDR_TRIGGER_NOT_USED");
  msg->add_arg(signal);
  msg->add_arg(trigger);
  return msg;
}

void SDR_MSGS::post(MSG_OBJECT* msg) {
  if (!msg) return;
  MSG_REPORT::get_default_report()->post(msg);
  delete msg;
}
