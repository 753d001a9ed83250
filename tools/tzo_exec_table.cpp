// The command table of editing scripts: every operation the transaction
// layer records, with its arguments and the call that runs it. A test
// checks this table against the record scopes of the library, so that an
// operation recorded there and missing here fails a test.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_data_instance.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "sdr_tx_signal_nodes.h"
#include "sdr_tx_signal_set.h"
#include "sdr_tx_trigger.h"
#include "sdr_tx_undo_manager.h"
#include "tzo_exec.h"

namespace tzo {
namespace {

// Forms a command may be written in.
enum FORM_MASK { F_SESSION = 1, F_INSTANCE = 2, F_DATA = 4, F_SETUP = 8, F_TAB = F_DATA | F_SETUP };

// Argument kinds, one letter each in an entry's parameter list:
//   s text or NULL    i int          b true/false    a int list '1,2,3'
//   x instance index  n row index    p row position (0 up to the row count)
//   T signal type     C capture type M tap mode      N trigger condition
//   P trigger position Y trigger type G group display type
//   L group linking   R RAM type
struct CALL;
using HANDLER = EXEC_RESULT (*)(CALL&);

struct ENTRY {
  int forms;
  const char* name;
  const char* params;
  const char* shown;  // the arguments as help shows them
  HANDLER run;        // null: nested only
  const char* nested_only;
};

template <class T>
bool enum_from_text(const std::string& text, T* value) {
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text.c_str(), value);
  const char* back = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(*value, &back);
  return back && text == back;
}

bool enum_from_text(const std::string& text, SDR_DATA_GROUP_LINKING_TYPE* value) {
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text.c_str(), value);
  std::string back;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(*value, &back);
  return text == back;
}

bool enum_from_text(const std::string& text, SDR_KALVOS_RAM_TYPE* value) {
  // The recorder writes the "no instance" answer as its number.
  if (text == std::to_string(static_cast<int>(SDR_RAM_NO_INSTANCE))) {
    *value = SDR_RAM_NO_INSTANCE;
    return true;
  }
  SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(text.c_str(), value);
  const char* back = nullptr;
  SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(*value, &back);
  return back && text == back;
}

// "1,2,3": decimal ints joined by commas; an empty text is no value.
bool int_list_from_text(const std::string& text, std::vector<int>* values) {
  values->clear();
  if (text.empty()) return true;
  size_t i = 0;
  while (true) {
    size_t j = i;
    if (j < text.size() && text[j] == '-') ++j;
    const size_t digits = j;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9') ++j;
    if (j == digits || j - digits > 10) return false;
    const long long v = std::stoll(text.substr(i, j - i));
    if (v > 2147483647LL || v < -2147483648LL) return false;
    values->push_back(static_cast<int>(v));
    if (j == text.size()) return true;
    if (text[j] != ',') return false;
    i = j + 1;
  }
}

const char* kind_name(char kind) {
  switch (kind) {
    case 's':
      return "a quoted text or NULL";
    case 'i':
    case 'x':
    case 'n':
    case 'p':
      return "an integer";
    case 'b':
      return "true or false";
    case 'a':
      return "a quoted list of integers like '1,2,3'";
    case 'T':
      return "a quoted signal type";
    case 'C':
      return "a quoted capture type";
    case 'M':
      return "a quoted tap mode";
    case 'N':
      return "a quoted trigger condition";
    case 'P':
      return "a quoted trigger position";
    case 'Y':
      return "a quoted trigger type";
    case 'G':
      return "a quoted group display type";
    case 'L':
      return "a quoted group linking";
    case 'R':
      return "a quoted RAM type";
  }
  return "a value";
}

// One command being run: the session, the addressed objects and the
// arguments converted to their types.
struct CALL {
  SDR_TX_SESSION* session;
  SCRIPT_HOST* host;
  int instance;
  SDR_TX_SIGNAL_NODES* nodes;  // the addressed tab, or null
  std::vector<const SCRIPT_TOKEN*> args;
  std::vector<std::vector<int>> lists;  // converted 'a' arguments, by position
  std::string* error;

  const char* s(size_t k) const {
    return args[k]->kind == SCRIPT_TOKEN_KIND::NULL_VALUE ? nullptr : args[k]->text.c_str();
  }
  int i(size_t k) const { return args[k]->value; }
  bool b(size_t k) const { return args[k]->value != 0; }
  const std::vector<int>& a(size_t k) const { return lists[k]; }
  template <class T>
  T e(size_t k) const {
    T value{};
    enum_from_text(args[k]->text, &value);
    return value;
  }
  SDR_TX_INSTANCE* tx_instance() const { return session->get_instance_at(instance); }
  SDR_TX_SIGNAL_SET* signal_set() const { return session->get_signal_set_at(instance); }
  SDR_TX_TRIGGER* trigger() const { return session->get_trigger_at(instance); }
};

EXEC_RESULT result(bool ok) {
  return ok ? EXEC_RESULT::DONE : EXEC_RESULT::REFUSED;
}

const int* list_data(const std::vector<int>& values) {
  return values.empty() ? nullptr : values.data();
}

// A log named by its signal set, trigger and log names, or null.
SDR_DATA_LOG* find_log(const CALL& c, const char* set_name, const char* trigger_name, const char* log_name) {
  SDR_TX_INSTANCE* instance = c.session->get_instance_at(c.i(0));
  SDR_DATA_INSTANCE* data = instance ? instance->get_data_instance() : nullptr;
  SDR_DATA_SIGNAL_SET* set = data && set_name ? data->find_signal_set(set_name) : nullptr;
  SDR_DATA_TRIGGER* trigger = set && trigger_name ? set->find_trigger(trigger_name) : nullptr;
  return trigger && log_name ? trigger->find_log(log_name) : nullptr;
}

#define RUN [](CALL & c) -> EXEC_RESULT
#define NESTED(why) nullptr, why

const std::vector<ENTRY>& table() {
  static const std::vector<ENTRY> entries = {
      // ------------------------------------------------------------ session
      {F_SESSION, "create_session", "s", "'NAME'   (tzo replay only)",
       RUN{return c.host->create_session(c.session, c.s(0), c.error) ? EXEC_RESULT::DONE
                                                                     : EXEC_RESULT::FAILED;
}
, nullptr
}  // namespace
, {F_SESSION, "open_session", "s", "'CHECK_POINT'   (tzo replay only)",
   RUN{return c.host->open_session(c.session, c.s(0), c.error) ? EXEC_RESULT::DONE : EXEC_RESULT::FAILED;
}  // namespace tzo
, nullptr
}
, {F_SESSION, "save_session", "", "",
   RUN{return c.host->save_session(c.session, nullptr, c.error) ? EXEC_RESULT::DONE : EXEC_RESULT::FAILED;
}
, nullptr
}
, {F_SESSION, "save_session", "s", "'FILE'",
   RUN{return c.host->save_session(c.session, c.s(0), c.error) ? EXEC_RESULT::DONE : EXEC_RESULT::FAILED;
}
, nullptr
}
, {F_SESSION, "commit_session", "", "", RUN{return result(c.session->commit_session());
}
, nullptr
}
, {F_SESSION, "commit_instance_at", "xb", "INSTANCE FLAG", NESTED("run by commit_session and save_session")},
    {F_SESSION, "close_session", "", "", RUN{return result(c.session->close_session());
}
, nullptr
}
, {F_SESSION, "create_trazio_instance", "s", "'NAME'|NULL",
   RUN{return result(c.session->create_trazio_instance(c.s(0)) >= 0);
}
, nullptr
}
, {F_SESSION, "remove_trazio_instance", "x", "INSTANCE",
   RUN{return result(c.session->remove_trazio_instance(c.i(0)));
}
, nullptr
}
, {F_SESSION, "create_new_log", "x", "INSTANCE",
   RUN{return result(c.session->create_new_log(c.i(0)) != nullptr);
}
, nullptr
}
, {F_SESSION, "remove_current_log", "x", "INSTANCE", RUN{c.session->remove_current_log(c.i(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SESSION, "save_to_log", "x", "INSTANCE", RUN{return result(c.session->save_to_log(c.i(0)));
}
, nullptr
}
, {F_SESSION, "set_active_log", "xsss", "INSTANCE 'SIGNAL_SET' 'TRIGGER' 'LOG'",
   RUN{SDR_DATA_LOG* log = find_log(c, c.s(1), c.s(2), c.s(3));
if (!log && c.s(3)) {
  *c.error = "no log " + quote_script_text(c.s(3)) + " in that signal set and trigger";
  return EXEC_RESULT::FAILED;
}
return result(c.session->set_active_log(c.i(0), log));
}
, nullptr
}
, {F_SESSION, "set_active", "xsss", "INSTANCE 'SIGNAL_SET' 'TRIGGER' 'LOG'",
   RUN{return result(c.session->set_active(c.i(0), c.s(1), c.s(2), c.s(3)));
}
, nullptr
}
, {F_SESSION, "remove", "xsss", "INSTANCE 'SIGNAL_SET' 'TRIGGER' 'LOG'",
   RUN{return result(c.session->remove(c.i(0), c.s(1), c.s(2), c.s(3)));
}
, nullptr
}
, {F_SESSION, "set_jtag_chain_name", "s", "'NAME'", RUN{c.session->set_jtag_chain_name(c.s(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SESSION, "set_jtag_device_name", "s", "'NAME'", RUN{c.session->set_jtag_device_name(c.s(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SESSION, "set_bix_file_name", "s", "'FILE'", RUN{c.session->set_bix_file_name(c.s(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SESSION, "set_gui_logging", "b", "BOOL", RUN{c.session->set_gui_logging(c.b(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SESSION, "set_global_data", "si", "'KEY' INT",
   RUN{return result(c.session->set_global_data(c.s(0), c.i(1)));
}
, nullptr
}
, {F_SESSION, "set_global_data", "sa", "'KEY' 'INT,INT,...'",
   RUN{return result(c.session->set_global_data(c.s(0), list_data(c.a(1)), static_cast<int>(c.a(1).size())));
}
, nullptr
}
, {F_SESSION, "set_undoable_modified_flag", "", "", RUN{c.session->set_undoable_modified_flag();
return EXEC_RESULT::DONE;
}
, nullptr
}
,

    // ----------------------------------------------------------- instance
    {F_INSTANCE, "begin_action", "", "", RUN{c.tx_instance()->begin_action();
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_INSTANCE, "end_action", "", "", RUN{c.tx_instance()->end_action();
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_INSTANCE, "undo", "", "", RUN{return result(c.tx_instance()->undo());
}
, nullptr
}
, {F_INSTANCE, "redo", "", "", RUN{return result(c.tx_instance()->redo());
}
, nullptr
}
, {F_INSTANCE, "set_max_undo_steps", "i", "STEPS", RUN{c.tx_instance()->set_max_undo_steps(c.i(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_INSTANCE, "set_incr_cmp_mode", "b", "BOOL", RUN{c.tx_instance()->set_incr_cmp_mode(c.b(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_INSTANCE, "update_to_current_version", "", "", RUN{c.tx_instance()->update_to_current_version();
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_INSTANCE, "rename", "s", "'NAME'", RUN{return result(c.tx_instance()->rename(c.s(0)));
}
, nullptr
}
, {F_INSTANCE, "set_setup_tab_selected", "b", "BOOL", RUN{c.tx_instance()->set_setup_tab_selected(c.b(0));
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_INSTANCE, "set_position_data", "si", "'KEY' INT",
   RUN{return result(c.tx_instance()->set_position_data(c.s(0), c.i(1)));
}
, nullptr
}
, {F_INSTANCE, "set_position_data", "sa", "'KEY' 'INT,INT,...'",
   RUN{return result(
       c.tx_instance()->set_position_data(c.s(0), list_data(c.a(1)), static_cast<int>(c.a(1).size())));
}
, nullptr
}
, {F_INSTANCE, "commit", "", "", NESTED("run by commit_session and save_session")},

    // ------------------------------------------------- rows of either tab
    {F_TAB, "set_node_name", "ns", "ROW 'NAME'", RUN{return result(c.nodes->set_node_name(c.i(0), c.s(1)));
}
, nullptr
}
, {F_TAB, "set_group_node_name", "ns", "ROW 'NAME'",
   RUN{return result(c.nodes->set_group_node_name(c.i(0), c.s(1)));
}
, nullptr
}
, {F_TAB, "set_node_alias", "ns", "ROW 'ALIAS'", RUN{return result(c.nodes->set_node_alias(c.i(0), c.s(1)));
}
, nullptr
}
, {F_TAB, "set_node_capture_type", "nC", "ROW 'CAPTURE'",
   RUN{return result(c.nodes->set_node_capture_type(c.i(0), c.e<SDR_DATA_WIRE_CAPTURE_TYPE>(1)));
}
, nullptr
}
, {F_TAB, "set_node_tap_mode", "nM", "ROW 'TAP_MODE'",
   RUN{return result(c.nodes->set_node_tap_mode(c.i(0), c.e<SDR_DATA_WIRE_TAP_MODE>(1)));
}
, nullptr
}
, {F_TAB, "set_node_connection_status", "nb", "ROW BOOL",
   RUN{return result(c.nodes->set_node_connection_status(c.i(0), c.b(1)));
}
, nullptr
}
, {F_TAB, "set_debug_out", "nbs", "ROW BOOL 'PORT'",
   RUN{return result(c.nodes->set_debug_out(c.i(0), c.b(1), c.s(2)));
}
, nullptr
}
, {F_TAB, "set_node_group_display_type", "nG", "ROW 'DISPLAY'",
   RUN{return result(c.nodes->set_node_group_display_type(c.i(0), c.e<SDR_DATA_GROUP_DISPLAY_TYPE>(1)));
}
, nullptr
}
, {F_TAB, "set_node_mnemonics_table_name", "ns", "ROW 'TABLE'",
   RUN{return result(c.nodes->set_node_mnemonics_table_name(c.i(0), c.s(1)));
}
, nullptr
}
, {F_TAB, "set_node_lsb_to_msb", "nb", "ROW BOOL",
   RUN{return result(c.nodes->set_node_lsb_to_msb(c.i(0), c.b(1)));
}
, nullptr
}
, {F_TAB, "set_node_signal_inverted", "nb", "ROW BOOL",
   RUN{return result(c.nodes->set_node_signal_inverted(c.i(0), c.b(1)));
}
, nullptr
}
, {F_TAB, "toggle_node", "n", "ROW", RUN{return result(c.nodes->toggle_node(c.i(0)));
}
, nullptr
}
, {F_TAB, "rename_all_node_name", "ss", "'OLD' 'NEW'",
   RUN{return result(c.nodes->rename_all_node_name(c.s(0), c.s(1)));
}
, nullptr
}
, {F_TAB, "rename_all_node_alias", "ss", "'OLD' 'NEW'",
   RUN{return result(c.nodes->rename_all_node_alias(c.s(0), c.s(1)));
}
, nullptr
}
, {F_TAB, "append_node", "sTM", "'NAME' 'SIGNAL_TYPE' 'TAP_MODE'",
   RUN{return result(
       c.nodes->append_node(c.s(0), c.e<SDR_DATA_SIGNAL_TYPE>(1), c.e<SDR_DATA_WIRE_TAP_MODE>(2)));
}
, nullptr
}
, {F_TAB, "append_node_uniq_name", "s", "'NAME'", NESTED("run by copies and by undo with a whole row")},
    {F_TAB, "delete_node", "s", "'NAME'", RUN{return result(c.nodes->delete_node(c.s(0)));
}
, nullptr
}
, {F_TAB, "delete_node", "nn", "FIRST LAST", RUN{return result(c.nodes->delete_node(c.i(0), c.i(1)) > 0);
}
, nullptr
}
, {F_TAB, "delete_node_base", "nn", "FIRST LAST",
   RUN{return result(c.nodes->delete_node_base(c.i(0), c.i(1)) > 0);
}
, nullptr
}
, {F_TAB, "group_node", "nn", "FIRST LAST", RUN{return result(c.nodes->group_node(c.i(0), c.i(1), nullptr));
}
, nullptr
}
, {F_TAB, "ungroup_node", "n", "ROW", RUN{return result(c.nodes->ungroup_node(c.i(0)));
}
, nullptr
}
, {F_TAB, "link_group_node", "nL", "ROW 'LINKING'",
   RUN{return result(c.nodes->link_group_node(c.i(0), c.e<SDR_DATA_GROUP_LINKING_TYPE>(1)));
}
, nullptr
}
, {F_TAB, "move_before_node", "nnpb", "FIRST LAST BEFORE INTO_GROUP",
   RUN{return result(c.nodes->move_before_node(c.i(0), c.i(1), c.i(2), c.b(3)) >= 0);
}
, nullptr
}
, {F_TAB, "copy_before_node", "nnpb", "FIRST LAST BEFORE INTO_GROUP",
   RUN{return result(c.nodes->copy_before_node(c.i(0), c.i(1), c.i(2), c.b(3)) >= 0);
}
, nullptr
}
, {F_TAB, "recover_presentation_view_error", "", "",
   RUN{return result(c.nodes->recover_presentation_view_error());
}
, nullptr
}
, {F_TAB, "restore_moved_block", "nnp", "FIRST LAST BEFORE", NESTED("run by undo and redo of a move")},
    {F_TAB, "save_properties", "", "", NESTED("run by undo and redo")},
    {F_TAB, "restore_properties", "", "", NESTED("run by undo and redo")},
    {F_TAB, "set_instance_index", "i", "INDEX", NESTED("run by remove_trazio_instance")},
    {F_TAB, "commit", "b", "FLAG", NESTED("run by commit_session and save_session")},

    // ------------------------------------------------- data tab settings
    {F_DATA, "set_clock_source", "s", "'NODE'", RUN{return result(c.signal_set()->set_clock_source(c.s(0)));
}
, nullptr
}
, {F_DATA, "set_trigger_in_enabled", "b", "BOOL",
   RUN{return result(c.signal_set()->set_trigger_in_enabled(c.b(0)));
}
, nullptr
}
, {F_DATA, "set_trigger_out_enabled", "b", "BOOL",
   RUN{return result(c.signal_set()->set_trigger_out_enabled(c.b(0)));
}
, nullptr
}
, {F_DATA, "set_trigger_in_node", "s", "'NODE'",
   RUN{return result(c.signal_set()->set_trigger_in_node(c.s(0)));
}
, nullptr
}
, {F_DATA, "set_trigger_out_node", "s", "'NODE'",
   RUN{return result(c.signal_set()->set_trigger_out_node(c.s(0)));
}
, nullptr
}
, {F_DATA, "set_trigger_in_pin", "s", "'PIN'", RUN{return result(c.signal_set()->set_trigger_in_pin(c.s(0)));
}
, nullptr
}
, {F_DATA, "set_trigger_out_pin", "s", "'PIN'",
   RUN{return result(c.signal_set()->set_trigger_out_pin(c.s(0)));
}
, nullptr
}
, {F_DATA, "set_top_entity_name", "s", "'ENTITY'",
   RUN{return result(c.signal_set()->set_top_entity_name(c.s(0)));
}
, nullptr
}
, {F_DATA, "set_sample_depth", "i", "DEPTH", RUN{return result(c.signal_set()->set_sample_depth(c.i(0)));
}
, nullptr
}
, {F_DATA, "set_reserved_data_node_size", "i", "SIZE",
   RUN{return result(c.signal_set()->set_reserved_data_node_size(c.i(0)));
}
, nullptr
}
, {F_DATA, "set_reserved_trigger_node_size", "i", "SIZE",
   RUN{return result(c.signal_set()->set_reserved_trigger_node_size(c.i(0)));
}
, nullptr
}
, {F_DATA, "set_kalvos_ram_type", "R", "'RAM_TYPE'",
   RUN{return result(c.signal_set()->set_kalvos_ram_type(c.e<SDR_KALVOS_RAM_TYPE>(0)));
}
, nullptr
}
,
    {F_DATA, "link_trigger_in_to_out", "bb", "BOOL BOOL",
     NESTED("run by the trigger-in and trigger-out edits")},
    {F_DATA, "link_trigger_out_to_in", "bb", "BOOL BOOL",
     NESTED("run by the trigger-in and trigger-out edits")},
    {F_DATA, "unlink_trigger_out_from_in", "bb", "BOOL BOOL",
     NESTED("run by the trigger-in and trigger-out edits")},
    {F_DATA, "unlink_trigger_in_from_out", "bb", "BOOL BOOL",
     NESTED("run by the trigger-in and trigger-out edits")},

    // ------------------------------------------------ setup tab settings
    {F_SETUP, "set_trigger_in_condition", "N", "'CONDITION'",
     RUN{return result(c.trigger()->set_trigger_in_condition(c.e<SDR_DATA_TRIGGER_CONDITION>(0)));
}
, nullptr
}
, {F_SETUP, "set_trigger_out_condition", "N", "'CONDITION'",
   RUN{return result(c.trigger()->set_trigger_out_condition(c.e<SDR_DATA_TRIGGER_CONDITION>(0)));
}
, nullptr
}
, {F_SETUP, "set_trigger_position", "P", "'POSITION'",
   RUN{return result(c.trigger()->set_trigger_position(c.e<SDR_DATA_TRIGGER_POSITION>(0)));
}
, nullptr
}
, {F_SETUP, "set_segment_size", "i", "SIZE", RUN{return result(c.trigger()->set_segment_size(c.i(0)));
}
, nullptr
}
, {F_SETUP, "set_trigger_type", "Y", "'TYPE'",
   RUN{return result(c.trigger()->set_trigger_type(c.e<SDR_DATA_TRIGGER_TYPE>(0)));
}
, nullptr
}
, {F_SETUP, "set_trigger_level", "i", "LEVELS", RUN{return result(c.trigger()->set_trigger_level(c.i(0)));
}
, nullptr
}
, {F_SETUP, "set_trigger_level_basic_condition", "ib", "LEVEL BOOL",
   RUN{return result(c.trigger()->set_trigger_level_basic_condition(c.i(0), c.b(1)));
}
, nullptr
}
, {F_SETUP, "set_trigger_level_enabled", "ib", "LEVEL BOOL",
   RUN{return result(c.trigger()->set_trigger_level_enabled(c.i(0), c.b(1)));
}
, nullptr
}
, {F_SETUP, "set_trigger_condition", "niN", "ROW LEVEL 'CONDITION'",
   RUN{return result(c.trigger()->set_trigger_condition(c.i(0), c.i(1), c.e<SDR_DATA_TRIGGER_CONDITION>(2)));
}
, nullptr
}
, {F_SETUP, "sync_upon_capture_type_change", "", "", RUN{c.trigger()->sync_upon_capture_type_change();
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SETUP, "rename_node_name", "ss", "'OLD' 'NEW'",
   RUN{return result(c.trigger()->rename_node_name(c.s(0), c.s(1)));
}
, nullptr
}
, {F_SETUP, "rename_node_alias", "ss", "'OLD' 'NEW'",
   RUN{return result(c.trigger()->rename_node_alias(c.s(0), c.s(1)));
}
, nullptr
}
, {F_SETUP, "recount_data_trigger_width", "", "", RUN{c.trigger()->recount_data_trigger_width();
return EXEC_RESULT::DONE;
}
, nullptr
}
, {F_SETUP, "init", "", "", NESTED("run by set_active")},
    {F_SETUP, "commit_signal_set", "", "", NESTED("run by commit_session and save_session")},
}
;
return entries;
}

#undef RUN
#undef NESTED

int form_bit(SCRIPT_FORM form) {
  switch (form) {
    case SCRIPT_FORM::SESSION:
      return F_SESSION;
    case SCRIPT_FORM::INSTANCE:
      return F_INSTANCE;
    case SCRIPT_FORM::DATA_TAB:
      return F_DATA;
    case SCRIPT_FORM::SETUP_TAB:
      return F_SETUP;
  }
  return 0;
}

const char* form_text(int forms) {
  switch (forms) {
    case F_SESSION:
      return "session";
    case F_INSTANCE:
      return "instance";
    case F_DATA:
      return "data_tab";
    case F_SETUP:
      return "setup_tab";
    case F_TAB:
      return "tab";
  }
  return "";
}

// The entries of a name, by form.
const std::multimap<std::string, const ENTRY*>& by_name() {
  static const std::multimap<std::string, const ENTRY*> index = [] {
    std::multimap<std::string, const ENTRY*> map;
    for (const ENTRY& entry : table()) map.emplace(entry.name, &entry);
    return map;
  }();
  return index;
}

// Whether a token fits a parameter kind (the type only; ranges come later).
bool fits(char kind, const SCRIPT_TOKEN& token) {
  switch (kind) {
    case 's':
      return token.kind == SCRIPT_TOKEN_KIND::STRING || token.kind == SCRIPT_TOKEN_KIND::NULL_VALUE;
    case 'i':
    case 'x':
    case 'n':
    case 'p':
      return token.kind == SCRIPT_TOKEN_KIND::INT;
    case 'b':
      return token.kind == SCRIPT_TOKEN_KIND::BOOL;
    default:
      return token.kind == SCRIPT_TOKEN_KIND::STRING;
  }
}

bool signature_fits(const ENTRY& entry, const SCRIPT_COMMAND& command) {
  const std::string params = entry.params;
  if (params.size() != command.args.size()) return false;
  for (size_t k = 0; k < params.size(); ++k)
    if (!fits(params[k], command.args[k])) return false;
  return true;
}

std::string usage_of(const ENTRY& entry) {
  std::string text = entry.name;
  if (*entry.shown) text += std::string(" ") + entry.shown;
  return text;
}

// Checks the values of the arguments and converts the lists. False with
// *error on the first bad one.
bool check_values(const ENTRY& entry, CALL& call, const EXEC_OPTIONS& options) {
  const std::string params = entry.params;
  call.lists.assign(params.size(), std::vector<int>());
  for (size_t k = 0; k < params.size(); ++k) {
    const SCRIPT_TOKEN& token = *call.args[k];
    const std::string where = "argument " + std::to_string(k + 1) + " of " + entry.name + ": ";
    bool good = true;
    SDR_DATA_SIGNAL_TYPE t;
    SDR_DATA_WIRE_CAPTURE_TYPE ct;
    SDR_DATA_WIRE_TAP_MODE m;
    SDR_DATA_TRIGGER_CONDITION cond;
    SDR_DATA_TRIGGER_POSITION pos;
    SDR_DATA_TRIGGER_TYPE ty;
    SDR_DATA_GROUP_DISPLAY_TYPE g;
    SDR_DATA_GROUP_LINKING_TYPE l;
    SDR_KALVOS_RAM_TYPE r;
    switch (params[k]) {
      case 'a':
        good = int_list_from_text(token.text, &call.lists[k]);
        break;
      case 'T':
        good = enum_from_text(token.text, &t);
        break;
      case 'C':
        good = enum_from_text(token.text, &ct);
        break;
      case 'M':
        good = enum_from_text(token.text, &m);
        break;
      case 'N':
        good = enum_from_text(token.text, &cond);
        break;
      case 'P':
        good = enum_from_text(token.text, &pos);
        break;
      case 'Y':
        good = enum_from_text(token.text, &ty);
        break;
      case 'G':
        good = enum_from_text(token.text, &g);
        break;
      case 'L':
        good = enum_from_text(token.text, &l);
        break;
      case 'R':
        good = enum_from_text(token.text, &r);
        break;
      case 'x':
        if (options.strict && (token.value < 0 || token.value >= call.session->get_num_instances())) {
          *call.error = where + "no instance " + std::to_string(token.value) + " (the session has " +
                        std::to_string(call.session->get_num_instances()) + ")";
          return false;
        }
        break;
      case 'n':
      case 'p': {
        const int rows = call.nodes ? call.nodes->get_node_count() : 0;
        const int limit = params[k] == 'p' ? rows + 1 : rows;
        if (options.strict && (token.value < 0 || token.value >= limit)) {
          *call.error = where + "no row " + std::to_string(token.value) + " (the tab has " +
                        std::to_string(rows) + (rows == 1 ? " row)" : " rows)");
          return false;
        }
        break;
      }
      default:
        break;
    }
    if (!good) {
      *call.error = where + quote_script_text(token.text) + " is not " + kind_name(params[k]);
      return false;
    }
  }
  return true;
}

}  // namespace

EXEC_RESULT exec_script_command(SDR_TX_SESSION* session, SCRIPT_HOST* host, const SCRIPT_COMMAND& command,
                                const EXEC_OPTIONS& options, std::string* error) {
  const int form = form_bit(command.form);
  const ENTRY* named = nullptr;  // an entry of the name in this form
  const ENTRY* chosen = nullptr;
  bool other_form = false;
  auto range = by_name().equal_range(command.name);
  for (auto it = range.first; it != range.second; ++it) {
    const ENTRY* entry = it->second;
    if (!(entry->forms & form)) {
      other_form = true;
      continue;
    }
    if (!named) named = entry;
    if (signature_fits(*entry, command)) {
      chosen = entry;
      break;
    }
  }
  if (!named) {
    *error = other_form ? "'" + command.name + "' is not a command of this form (see 'tzo help exec')"
                        : "unknown command '" + command.name + "'";
    return EXEC_RESULT::FAILED;
  }
  if (!chosen) {
    std::string forms;
    for (auto it = range.first; it != range.second; ++it)
      if (it->second->forms & form) forms += (forms.empty() ? "" : " or ") + usage_of(*it->second);
    std::string given;
    for (const SCRIPT_TOKEN& token : command.args) given += " " + print_script_token(token);
    *error = "wrong arguments for " + command.name + ": expected " + forms + ", got" +
             (given.empty() ? std::string(" none") : given);
    return EXEC_RESULT::FAILED;
  }
  if (!chosen->run) {
    *error = "'" + command.name + "' is only recorded inside another command (" + chosen->nested_only + ")";
    return EXEC_RESULT::FAILED;
  }

  CALL call{session, host, command.instance, nullptr, {}, {}, error};
  if (command.form != SCRIPT_FORM::SESSION) {
    if (!session->get_instance_at(command.instance)) {
      *error = "no instance " + std::to_string(command.instance) + " (the session has " +
               std::to_string(session->get_num_instances()) + ")";
      return EXEC_RESULT::FAILED;
    }
    if (command.form == SCRIPT_FORM::DATA_TAB) call.nodes = session->get_signal_set_at(command.instance);
    if (command.form == SCRIPT_FORM::SETUP_TAB) call.nodes = session->get_trigger_at(command.instance);
    if (command.form != SCRIPT_FORM::INSTANCE && !call.nodes) {
      *error = "instance " + std::to_string(command.instance) + " has no such tab";
      return EXEC_RESULT::FAILED;
    }
  }
  for (const SCRIPT_TOKEN& token : command.args) call.args.push_back(&token);
  if (!check_values(*chosen, call, options)) return EXEC_RESULT::FAILED;

  // An edit written without an action bracket is an undo step of its own.
  SDR_TX_INSTANCE* instance = command.form == SCRIPT_FORM::SESSION ? nullptr : call.tx_instance();
  const bool bracket = options.auto_action && instance && !instance->get_undo_manager()->is_action_open() &&
                       command.name != "begin_action" && command.name != "end_action" &&
                       command.name != "undo" && command.name != "redo";
  if (bracket) instance->begin_action();
  const EXEC_RESULT outcome = chosen->run(call);
  // The command may have removed the instance.
  if (bracket && session->get_instance_at(command.instance) == instance) instance->end_action();
  return outcome;
}

std::vector<SCRIPT_COMMAND_INFO> list_script_commands() {
  std::vector<SCRIPT_COMMAND_INFO> list;
  for (const ENTRY& entry : table())
    list.push_back(
        {form_text(entry.forms), entry.name, entry.shown, entry.run ? nullptr : entry.nested_only});
  return list;
}

}  // namespace tzo
