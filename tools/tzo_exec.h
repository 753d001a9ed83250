#ifndef TZO_EXEC_H
#define TZO_EXEC_H

// Running script commands on a transaction session. The table of commands
// (tzo_exec_table.cpp) is the one place that maps a command line to a call
// of the transaction layer; tzo exec and tzo replay differ only in their
// SCRIPT_HOST (what opening, creating and saving a session means) and in
// how strictly arguments are checked.

#include <string>
#include <vector>

#include "tzo_script.h"

class SDR_TX_SESSION;

namespace tzo {

// What the session-level commands that touch files do.
class SCRIPT_HOST {
 public:
  virtual ~SCRIPT_HOST() = default;
  // Each returns false with *error when the run must stop.
  virtual bool open_session(SDR_TX_SESSION* session, const char* name, std::string* error) = 0;
  virtual bool create_session(SDR_TX_SESSION* session, const char* name, std::string* error) = 0;
  virtual bool save_session(SDR_TX_SESSION* session, const char* path, std::string* error) = 0;
};

enum class EXEC_RESULT {
  DONE,     // the operation ran and reported success (or returns nothing)
  REFUSED,  // the operation ran and returned false (or -1)
  FAILED    // the command cannot be run: *error says why
};

struct EXEC_OPTIONS {
  // Instance and row indexes must exist (replay passes what was recorded,
  // whatever the library made of it then).
  bool strict = true;
  // An instance or tab command run while its instance has no open action
  // gets an action of its own (begin_action ... end_action).
  bool auto_action = true;
};

// Runs one parsed command.
EXEC_RESULT exec_script_command(SDR_TX_SESSION* session, SCRIPT_HOST* host, const SCRIPT_COMMAND& command,
                                const EXEC_OPTIONS& options, std::string* error);

// One entry of the table, for documentation and for the check against the
// operations the library records.
struct SCRIPT_COMMAND_INFO {
  // "session", "instance", "data_tab", "setup_tab" or "tab" (either tab).
  const char* form;
  const char* name;
  // The arguments, e.g. "ROW 'NAME'"; empty for none.
  const char* arguments;
  // Null when a script may run the command; otherwise why it only ever
  // appears nested inside another command (such lines are refused).
  const char* nested_only;
};
std::vector<SCRIPT_COMMAND_INFO> list_script_commands();

}  // namespace tzo

#endif
