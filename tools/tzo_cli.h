#ifndef TZO_CLI_H
#define TZO_CLI_H

// Pieces shared by the subcommands of tzo: the parsed command line, loading
// a file together with the messages posted meanwhile, console output and
// small file helpers.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "msg_service.h"

class SDR_DATA_MANAGER;
class SDR_DATA_SESSION;

namespace tzo {

enum EXIT_STATUS { EXIT_OK = 0, EXIT_FAILED = 1, EXIT_USAGE = 2 };

// A command line with its options taken out. Options are keyed by their
// long name; a flag maps to an empty text.
struct ARGS {
  std::string command;
  std::vector<std::string> operands;
  std::map<std::string, std::string> options;

  bool has(const char* name) const { return options.count(name) != 0; }
  const std::string& get(const char* name) const;
};

// "tzo: CMD: TEXT" and the usage line of CMD on stderr; returns EXIT_USAGE.
int usage_error(const std::string& command, const std::string& text);
// "tzo: SUBJECT: TEXT" on stderr.
void report(const std::string& subject, const std::string& text);
// Every message of the list as "tzo: FILE: TEXT [ID]" on stderr.
void report_messages(const std::string& file, const std::vector<MSG_OBJECT>& messages);
// Removes and returns what was posted to the default report since the last
// call.
std::vector<MSG_OBJECT> take_posted_messages();

// Writes text to stdout as is.
void out(const std::string& text);

struct SESSION_CLOSER {
  void operator()(SDR_DATA_SESSION* session) const;
};
using SESSION_PTR = std::unique_ptr<SDR_DATA_SESSION, SESSION_CLOSER>;

// A file loaded into an independent session, and the messages posted while
// loading it. The session is null when the file could not be loaded.
struct LOADED_FILE {
  SESSION_PTR session;
  std::vector<MSG_OBJECT> messages;
  int errors = 0;
  int warnings = 0;
};
LOADED_FILE load_file(const std::string& path);
// The repository manager, created on first use.
SDR_DATA_MANAGER* data_manager();
// Releases the repository manager if a load created it. Every session must
// be closed by then.
void release_manager();

// Loads path for a command that prints messages on stderr: reports them, and
// "cannot read the file" when the load failed without a message. Returns the
// session, or null when the file could not be loaded; *has_errors tells
// whether an error was posted.
SESSION_PTR load_reporting(const std::string& path, bool* has_errors);

// Files are written in the settled layout, so that loading the written
// file and saving it again changes nothing. A loaded session is in it
// already (loaded true); any other is saved to a hidden scratch file and
// loaded once first. The scratch file lies beside the target (in TMPDIR
// where that is not possible) and is always removed; the target is written
// only at the end, crash-safe.
struct SETTLED {
  SETTLED();
  ~SETTLED();
  // The session loaded from the scratch file, when there was one.
  std::unique_ptr<SDR_DATA_SESSION> session;
  // The session to write to the target.
  SDR_DATA_SESSION* use = nullptr;
  // What writing it to the target puts there.
  std::string bytes;
};
// Settles session for target without writing target. False after reporting
// why under target's name.
bool settle(SDR_DATA_SESSION& session, const std::string& target, SETTLED* settled, bool loaded = false);
// Writes a settled session to target; reports a failure.
bool write_settled(SETTLED& settled, const std::string& target);
// settle, then write_settled.
bool save_settled(SDR_DATA_SESSION& session, const std::string& target, bool loaded = false);

// The whole content of a file; false when it cannot be read.
bool read_bytes(const std::string& path, std::string* bytes);

// Files of the older text layout start with "[@\TZO=", letters in any
// case. The library imports them when loading; tzo import converts them,
// and the other commands never write over them.
bool is_older_text_layout(const std::string& bytes);

// The directory part of a path ("." when there is none) and the part after
// the last '/'.
std::string directory_of(const std::string& path);
std::string base_name_of(const std::string& path);

// Text of a name or value made safe for one output line: control
// characters are written as escapes.
std::string printable(const char* text);

// Subcommands.
int run_info(const ARGS& args);
int run_check(const ARGS& args);
int run_fmt(const ARGS& args);
int run_new(const ARGS& args);
int run_embedded(const ARGS& args);
int run_embed(const ARGS& args);
int run_extract(const ARGS& args);
int run_demo(const ARGS& args);
int run_export(const ARGS& args);
int run_import(const ARGS& args);
int run_exec(const ARGS& args);
int run_replay(const ARGS& args);

}  // namespace tzo

#endif
