#ifndef SDR_DATA_MANAGER_H
#define SDR_DATA_MANAGER_H

// The process-wide entry point of the repository: the registry of open
// sessions keyed by file path, default names, and recovery files when the
// manager is destroyed.

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "sdr_export.h"

class SDR_DATA_SESSION;
class SDR_BASIC_SESSION;

using STL_STRING = std::string;

class SDR_API SDR_DATA_MANAGER {
 public:
  // The single manager, created on the first call. Deleting it saves every
  // registered session to a recovery file, destroys them, and lets the next
  // call create a fresh manager.
  static SDR_DATA_MANAGER* get_data_repository_manager();
  virtual ~SDR_DATA_MANAGER();

  SDR_DATA_MANAGER(const SDR_DATA_MANAGER&) = delete;
  SDR_DATA_MANAGER& operator=(const SDR_DATA_MANAGER&) = delete;

  // A unique default name: prefix (or "generic"), then ": YYYY/MM/DD
  // HH:MM:SS " in local time, then " #N" with a counter that restarts at 0
  // each second. The caller owns the result.
  static STL_STRING* name_auto_gen(const char* prefix);
  // Replaces the clock of name_auto_gen (null restores time(NULL)); for
  // tests.
  static void set_name_clock(time_t (*clock)());

  // A new empty session named name + "*", registered with one opener.
  SDR_DATA_SESSION* create_session(const char* name);
  // The registered session of that path (one opener more), else the file
  // loaded into a new registered session; null when it cannot be loaded.
  SDR_DATA_SESSION* open_session(const char* path);
  // As open_session, but a new session imports the file as a legacy file.
  SDR_DATA_SESSION* open_session_from_tzo(const char* path);
  // Loads the file into a session that is not registered; the caller ends
  // it with close_independent_session.
  SDR_DATA_SESSION* open_independent_session(const char* path);
  SDR_DATA_SESSION* get_session_opened(const char* path) const;
  bool is_session_opened(const char* path) const;
  // One opener less; the session is destroyed when none is left. False when
  // no session of that path is open.
  bool close_session(const char* path);
  bool close_independent_session(SDR_DATA_SESSION* session);

  int get_num_sessions() const { return static_cast<int>(m_sessions.size()); }
  SDR_DATA_SESSION* get_session_at(int index) const;

  // Basic sessions (schema-free element trees), kept apart from the data
  // sessions under the same rules: found by path, counted per opener,
  // destroyed when the last opener closes, written to a recovery file when
  // the manager is destroyed.
  //
  // A new empty basic session named name, registered with one opener; no
  // lookup is made.
  SDR_BASIC_SESSION* create_basic_session(const char* name);
  // The registered session of that path (one opener more), else the file
  // read into a new registered session; null when it does not parse.
  SDR_BASIC_SESSION* open_basic_session(const char* path);
  SDR_BASIC_SESSION* get_basic_session_opened(const char* path) const;
  bool is_basic_session_opened(const char* path) const;
  // One opener less; destroyed when none is left. Closing does not save.
  // False when no such session is registered.
  bool close_basic_session(const char* path);
  bool close_basic_session(SDR_BASIC_SESSION* session);
  int get_num_basic_sessions() const { return static_cast<int>(m_basic_sessions.size()); }

  // The name a session is written under when the manager is destroyed:
  // within the file-name part (after the last '/'), "_recovered" goes
  // before the first '.', or "_tmp_recovered" for a name ending in "*"
  // (which is dropped). /d/my.proj/a.b.tzo gives /d/my.proj/a_recovered.b.tzo.
  static STL_STRING get_recovery_name(const char* name);

 private:
  SDR_DATA_MANAGER();
  size_t find_index(const char* path) const;
  SDR_DATA_SESSION* find(const char* path) const;
  void delete_all_session();
  void save_all_session(bool keep_names);
  size_t find_basic_index(const char* path) const;
  SDR_BASIC_SESSION* find_basic_session(const char* path) const;
  void delete_all_basic_session();
  void save_all_basic_session(bool keep_names);
  void release_basic_at(size_t index);

  std::vector<SDR_DATA_SESSION*> m_sessions;
  std::vector<SDR_BASIC_SESSION*> m_basic_sessions;
  bool m_platform_initialized = false;
};

#endif
