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

 private:
  SDR_DATA_MANAGER();
  size_t find_index(const char* path) const;
  SDR_DATA_SESSION* find(const char* path) const;
  void delete_all_session();
  void save_all_session(bool keep_names);

  std::vector<SDR_DATA_SESSION*> m_sessions;
  bool m_platform_initialized = false;
};

#endif
