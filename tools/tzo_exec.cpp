// tzo exec and tzo replay: editing scripts run through a transaction
// session.

#include "tzo_exec.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cfg_service.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_tx_instance.h"
#include "sdr_tx_session.h"
#include "tzo_cli.h"
#include "tzo_tree_object.h"

namespace tzo {
namespace {

// Script lines shown in messages as "SCRIPT:LINE".
std::string place(const std::string& script, int line) {
  return script + ":" + std::to_string(line);
}

void report_posted(const std::string& where) {
  report_messages(where, take_posted_messages());
  const int count = MSG_INTERNAL_ERROR::get_num_reports();
  for (int i = 0; i < count; ++i)
    report(where, std::string("internal error: ") + MSG_INTERNAL_ERROR::get_expression_at(i));
  MSG_INTERNAL_ERROR::clear_reports();
}

// SOURCE_DATE_EPOCH (seconds since 1970), when set, is the time in the
// names the library generates, so that a run's output is reproducible.
time_t g_source_date = 0;
time_t source_date_clock() {
  return g_source_date;
}
void use_source_date() {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text || std::strspn(text, "0123456789") != std::strlen(text) || std::strlen(text) > 12)
    return;
  g_source_date = static_cast<time_t>(std::strtoll(text, nullptr, 10));
  SDR_DATA_MANAGER::set_name_clock(source_date_clock);
}

// Recording is switched on for a run only by --record.
void set_recording(const std::string* root) {
  cfg_set_value("tzo_tx_record", root ? "on" : "off");
  if (root) cfg_set_value("tzo_tx_record_root_path", root->c_str());
}

bool is_directory(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The session is closed through the repository manager before it goes,
// so that the manager leaves no recovery file behind.
struct SESSION_GUARD {
  explicit SESSION_GUARD(SDR_TX_SESSION* s) : session(s) {}
  ~SESSION_GUARD() {
    session->disable_script_recording();
    if (session->is_session_opened()) session->close_session();
    take_posted_messages();
  }
  SDR_TX_SESSION* session;
};

class EXEC_HOST;
void note_command(EXEC_HOST* host, const SCRIPT_COMMAND& command);

// Runs the lines of a script. Returns EXIT_OK, or EXIT_FAILED after
// reporting why. *commands counts the commands run; *completed tells
// whether the run reached the end of the script. exec_host is set for
// tzo exec: refused edits then stop the run unless keep_going.
int run_lines(SDR_TX_SESSION* session, SCRIPT_HOST* host, EXEC_HOST* exec_host, std::FILE* in,
              const std::string& script, const EXEC_OPTIONS& options, bool keep_going, int* commands,
              bool* completed) {
  *completed = false;
  const bool stop_on_refusal = exec_host != nullptr;
  SCRIPT_READER reader(in);
  std::string line;
  SCRIPT_COMMAND command;
  std::string error;
  bool refused = false;
  *commands = 0;
  while (true) {
    const SCRIPT_READER::RESULT got = reader.next(&line);
    const std::string where = place(script, reader.get_line_number());
    if (got == SCRIPT_READER::END) {
      *completed = true;
      break;
    }
    if (got == SCRIPT_READER::TOO_LONG) {
      report(where, "line longer than " + std::to_string(SCRIPT_READER::MAX_LINE) + " bytes");
      return EXIT_FAILED;
    }
    if (got == SCRIPT_READER::READ_ERROR) {
      report(script, "cannot read the script");
      return EXIT_FAILED;
    }
    const SCRIPT_LINE_KIND kind = parse_script_line(line, &command, &error);
    if (kind == SCRIPT_LINE_KIND::SKIPPED) continue;
    if (kind == SCRIPT_LINE_KIND::ERROR) {
      report(where, error);
      return EXIT_FAILED;
    }
    if (!session->is_session_opened() && command.name != "open_session" && command.name != "create_session") {
      report(where,
             "no session is open (a script for tzo replay starts with open_session or create_session)");
      return EXIT_FAILED;
    }
    ++*commands;
    error.clear();
    const EXEC_RESULT outcome = exec_script_command(session, host, command, options, &error);
    if (exec_host) note_command(exec_host, command);
    report_posted(where);
    if (outcome == EXEC_RESULT::FAILED) {
      report(where, error);
      return EXIT_FAILED;
    }
    if (outcome == EXEC_RESULT::REFUSED && stop_on_refusal) {
      report(where, command.name + " refused: nothing changed");
      if (!keep_going) return EXIT_FAILED;
      refused = true;
    }
  }
  return refused ? EXIT_FAILED : EXIT_OK;
}

// ------------------------------------------------------------------- exec

// The compilation the edits of a run need, per instance.
enum NEED { NEED_NONE = 0, NEED_PINWATCH = 1, NEED_FULL = 2 };

class EXEC_HOST : public SCRIPT_HOST {
 public:
  explicit EXEC_HOST(const std::string& file) : m_file(file) {}

  bool open_session(SDR_TX_SESSION*, const char*, std::string* error) override {
    *error = "open_session is not run by tzo exec: the session is " + m_file;
    return false;
  }
  bool create_session(SDR_TX_SESSION*, const char*, std::string* error) override {
    *error = "create_session is not run by tzo exec: the session is " + m_file;
    return false;
  }
  bool save_session(SDR_TX_SESSION* session, const char* path, std::string* error) override {
    // Without a path (or with '') the file is saved in place, whatever
    // an earlier save to another path named the session.
    const std::string target = path && *path ? path : m_file;
    note_needs(session);
    if (!session->save_session(target.c_str())) {
      *error = "cannot save " + target;
      return false;
    }
    m_saved = true;
    m_edits_after_save = false;
    return true;
  }

  // A command other than a save has run.
  void note_command(const SCRIPT_COMMAND& command) {
    if (command.name != "save_session") m_edits_after_save = true;
  }

  // Takes in what the instances need now.
  void note_needs(SDR_TX_SESSION* session) {
    for (int i = 0; i < session->get_num_instances(); ++i) {
      bool full = false;
      bool pinwatch = false;
      session->check_instance_compilation_type_at(i, &full, &pinwatch);
      NEED& need = m_needs[session->get_instance_at(i)];
      const NEED now = full ? NEED_FULL : pinwatch ? NEED_PINWATCH : NEED_NONE;
      if (now > need) need = now;
    }
  }

  std::string summary(SDR_TX_SESSION* session) {
    note_needs(session);
    const bool modified = session->is_modified();
    std::string text = m_file + ": ";
    if (m_saved)
      text += modified && m_edits_after_save ? "saved; later edits are not saved" : "saved";
    else
      text += modified ? "modified; nothing written (the script has no save_session)" : "not modified";
    text += "\n";
    static const char* const need_text[] = {"no compilation", "pin-watch compilation", "full compilation"};
    for (int i = 0; i < session->get_num_instances(); ++i) {
      SDR_TX_INSTANCE* instance = session->get_instance_at(i);
      const char* name = instance->get_name();
      text += "  instance " + std::to_string(i) + " " + quote_script_text(printable(name)) + ": " +
              need_text[m_needs[instance]] + "\n";
    }
    return text;
  }

 private:
  std::string m_file;
  bool m_saved = false;
  bool m_edits_after_save = false;
  std::map<const SDR_TX_INSTANCE*, NEED> m_needs;
};

void note_command(EXEC_HOST* host, const SCRIPT_COMMAND& command) {
  host->note_command(command);
}

// ----------------------------------------------------------------- replay

// A private folder, removed with what it holds.
class PRIVATE_FOLDER {
 public:
  PRIVATE_FOLDER() = default;
  ~PRIVATE_FOLDER() {
    if (m_path.empty()) return;
    if (DIR* dir = opendir(m_path.c_str())) {
      while (struct dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((m_path + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(m_path.c_str());
  }
  PRIVATE_FOLDER(const PRIVATE_FOLDER&) = delete;
  PRIVATE_FOLDER& operator=(const PRIVATE_FOLDER&) = delete;

  bool make() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tzo-replay-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (!mkdtemp(name.data())) return false;
    m_path = name.data();
    return true;
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

bool write_bytes(const std::string& path, const std::string& bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::string> split_lines(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(bytes.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

bool is_digits(const std::string& text, size_t at, size_t count) {
  if (at + count > text.size()) return false;
  for (size_t i = at; i < at + count; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

// Names the library generates (signal sets, triggers and logs made without
// a name) end in the time they were made and a counter:
// "trigger: 2026/12/06 15:55:03  #4". A replay makes them at another time,
// so they are compared with both parts blanked out.
std::string blank_generated_names(const std::string& text) {
  static const char SHAPE[] = ": dddd/dd/dd dd:dd:dd  #";
  const size_t length = sizeof SHAPE - 1;
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const size_t at = text.find(": ", i);
    if (at == std::string::npos) break;
    bool match = at + length < text.size();
    for (size_t k = 0; match && k < length; ++k)
      match = SHAPE[k] == 'd' ? is_digits(text, at + k, 1) : text[at + k] == SHAPE[k];
    if (!match || !is_digits(text, at + length, 1)) {
      out.append(text, i, at + 2 - i);
      i = at + 2;
      continue;
    }
    size_t end = at + length;
    while (is_digits(text, end, 1)) ++end;
    out.append(text, i, at - i);
    out += ": YYYY/MM/DD hh:mm:ss  #N";
    i = end;
  }
  out.append(text, i, std::string::npos);
  return out;
}

// The first difference of two texts (generated names aside) as a short
// unified diff.
std::string first_difference(const std::string& name, const std::string& recorded,
                             const std::string& replayed) {
  const std::vector<std::string> a = split_lines(recorded);
  const std::vector<std::string> b = split_lines(replayed);
  size_t k = 0;
  while (k < a.size() && k < b.size() && blank_generated_names(a[k]) == blank_generated_names(b[k])) ++k;
  const size_t from = k >= 2 ? k - 2 : 0;
  const size_t a_count = std::min(a.size(), k + 1) - from;
  const size_t b_count = std::min(b.size(), k + 1) - from;
  std::string text = "check point " + quote_script_text(name) +
                     " differs from the replayed session at line " + std::to_string(k + 1) + "\n";
  text += "--- " + name + " (recorded)\n+++ " + name + " (replayed)\n";
  text += "@@ -" + std::to_string(from + 1) + "," + std::to_string(a_count) + " +" +
          std::to_string(from + 1) + "," + std::to_string(b_count) + " @@\n";
  for (size_t i = from; i < k; ++i) text += " " + a[i] + "\n";
  if (k < a.size()) text += "-" + a[k] + "\n";
  if (k < b.size()) text += "+" + b[k] + "\n";
  if (k >= a.size() && k >= b.size()) text += "(the files differ in their last line feed)\n";
  text.pop_back();
  return text;
}

class REPLAY_HOST : public SCRIPT_HOST {
 public:
  REPLAY_HOST(const std::string& script_dir, const std::string& private_dir)
      : m_script_dir(script_dir), m_private_dir(private_dir) {}

  bool open_session(SDR_TX_SESSION* session, const char* name, std::string* error) override {
    if (!name || !*name) {
      *error = "open_session names no check point";
      return false;
    }
    const std::string base = base_name_of(name);
    std::string bytes;
    if (!read_bytes(m_script_dir + "/" + base, &bytes)) {
      *error = "cannot read the check point " + quote_script_text(base) + " beside the script";
      return false;
    }
    const std::string copy = m_private_dir + "/" + base;
    if (!write_bytes(copy, bytes) || !session->open_session(copy.c_str())) {
      *error = "cannot open a copy of the check point " + quote_script_text(base);
      return false;
    }
    return true;
  }

  bool create_session(SDR_TX_SESSION* session, const char* name, std::string* error) override {
    const std::string base = name && *name ? base_name_of(name) : "session.tzo";
    const std::string path = m_private_dir + "/" + base;
    if (!session->create_session(path.c_str())) {
      *error = "cannot create the session " + quote_script_text(base);
      return false;
    }
    return true;
  }

  bool save_session(SDR_TX_SESSION* session, const char* path, std::string* error) override {
    if (!path || !*path) {
      *error = "save_session names no check point";
      return false;
    }
    const std::string base = base_name_of(path);
    // As recorded: the save (whose own file does not matter), then the
    // snapshot of the data session.
    session->save_session((m_private_dir + "/.saved.tzo").c_str());
    const std::string replayed_path = m_private_dir + "/" + base;
    std::string recorded;
    std::string replayed;
    if (!read_bytes(m_script_dir + "/" + base, &recorded)) {
      *error = "cannot read the check point " + quote_script_text(base) + " beside the script";
      return false;
    }
    SDR_DATA_SESSION* data = session->get_data_session();
    if (!data || !data->save_as(replayed_path.c_str(), true, true) || !read_bytes(replayed_path, &replayed)) {
      *error = "cannot write the replayed session for the check point " + quote_script_text(base);
      return false;
    }
    if (recorded != replayed && blank_generated_names(recorded) != blank_generated_names(replayed)) {
      *error = first_difference(base, recorded, replayed);
      return false;
    }
    ++m_matched;
    return true;
  }

  int get_matched() const { return m_matched; }

 private:
  std::string m_script_dir;
  std::string m_private_dir;
  int m_matched = 0;
};

// Opens the script; "-" is standard input.
std::FILE* open_script(const std::string& script) {
  return script == "-" ? stdin : std::fopen(script.c_str(), "rb");
}

struct SCRIPT_CLOSER {
  void operator()(std::FILE* f) const {
    if (f && f != stdin) std::fclose(f);
  }
};

}  // namespace

int run_exec(const ARGS& args) {
  const std::string file = args.operands[0];
  const std::string script = args.operands.size() > 1 ? args.operands[1] : "-";
  const std::string shown_script = script == "-" ? "<stdin>" : script;

  std::string bytes;
  if (!read_bytes(file, &bytes) || is_directory(file)) {
    report(file, "cannot read the file");
    return EXIT_FAILED;
  }
  if (is_older_text_layout(bytes)) {
    report(file, "the older text layout is not converted by this build; the file is left as it is");
    return EXIT_FAILED;
  }
  const std::string* record = args.has("record") ? &args.get("record") : nullptr;
  if (record && !is_directory(*record)) {
    report(*record, "not a folder to record into");
    return EXIT_FAILED;
  }
  std::unique_ptr<std::FILE, SCRIPT_CLOSER> in(open_script(script));
  if (!in) {
    report(script, "cannot read the script");
    return EXIT_FAILED;
  }

  set_recording(record);
  data_manager();
  use_source_date();
  SDR_TX_SESSION session(new TZO_TREE_OBJECT());
  SESSION_GUARD guard(&session);
  take_posted_messages();
  const bool opened = session.open_session(file.c_str());
  std::vector<MSG_OBJECT> messages = take_posted_messages();
  report_messages(file, messages);
  bool has_error = false;
  for (const MSG_OBJECT& m : messages) has_error = has_error || m.is_error();
  if (!opened || has_error) {
    report(file, "the file does not load without errors; nothing is run");
    return EXIT_FAILED;
  }

  EXEC_HOST host(file);
  EXEC_OPTIONS options;
  int commands = 0;
  bool completed = false;
  const int status = run_lines(&session, &host, &host, in.get(), shown_script, options,
                               args.has("keep-going"), &commands, &completed);
  if (completed && session.is_session_opened()) out(host.summary(&session));
  return status;
}

int run_replay(const ARGS& args) {
  const std::string script = args.operands[0];
  std::unique_ptr<std::FILE, SCRIPT_CLOSER> in(script == "-" ? nullptr : open_script(script));
  if (!in || is_directory(script)) {
    report(script, "cannot read the script");
    return EXIT_FAILED;
  }
  PRIVATE_FOLDER folder;
  if (!folder.make()) {
    report(script, "cannot create a private folder to replay in");
    return EXIT_FAILED;
  }

  set_recording(nullptr);
  data_manager();
  REPLAY_HOST host(directory_of(script), folder.path());
  int status;
  int commands = 0;
  {
    SDR_TX_SESSION session(new TZO_TREE_OBJECT());
    SESSION_GUARD guard(&session);
    EXEC_OPTIONS options;
    options.strict = false;
    options.auto_action = false;
    bool completed = false;
    status = run_lines(&session, &host, nullptr, in.get(), script, options, false, &commands, &completed);
  }
  if (status == EXIT_OK) {
    const int n = host.get_matched();
    out(script + ": " + std::to_string(n) + (n == 1 ? " check point matches" : " check points match") + " (" +
        std::to_string(commands) + (commands == 1 ? " command)\n" : " commands)\n"));
  }
  return status;
}

}  // namespace tzo
