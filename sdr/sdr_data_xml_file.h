#ifndef SDR_DATA_XML_FILE_H
#define SDR_DATA_XML_FILE_H

// Crash-safe replacement of a file; internal to the library.

#include <sys/stat.h>

#include <cstddef>
#include <string>

// A temporary file in the target's directory that replaces the target
// when it is complete: written, flushed to disk and renamed over it. Until
// then the target is untouched; a temporary file not committed is removed.
// "sdr_save_flush" (default on): a saved file, and the directory entry
// that names it, are on disk before commit reports success, so that a
// power cut right after cannot cost the file. Off, the replacement stays
// atomic for this process (a crash or a full disk never leaves a partial
// file), but nothing waits for the disk.
class SDR_TEMP_TARGET {
 public:
  SDR_TEMP_TARGET() = default;
  ~SDR_TEMP_TARGET() { discard(); }
  SDR_TEMP_TARGET(const SDR_TEMP_TARGET&) = delete;
  SDR_TEMP_TARGET& operator=(const SDR_TEMP_TARGET&) = delete;

  // Creates the temporary file for path (symbolic links followed). False
  // with the reason in *error.
  bool open(const char* path, std::string* error);
  int fd() const { return m_fd; }
  // Writes bytes at the current end of the temporary file; 0 or an errno.
  int write_all(const char* p, size_t left);
  // Gives the file the target's permissions, flushes it and renames it over
  // the target. On failure the temporary file is removed and the target
  // left as it was.
  bool commit(std::string* error);
  // Removes the temporary file and reports err.
  void fail(int err, std::string* error);
  // Removes the temporary file.
  void discard();

 private:
  std::string m_target;
  std::string m_dir;
  std::string m_tmp;
  struct stat m_stat = {};
  bool m_existed = false;
  mode_t m_mode = 0;
  int m_fd = -1;
  bool m_flush = true;
};

// Sets *error (when given) to text.
void sdr_set_error(std::string* error, const std::string& text);

#endif
