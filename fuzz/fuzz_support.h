// Helpers shared by the fuzz targets: a per-process scratch folder, failure
// reports that end the process (libFuzzer then keeps the input), and checks
// of the library's internal-error and message records.

#ifndef SDR_FUZZ_SUPPORT_H
#define SDR_FUZZ_SUPPORT_H

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "msg_service.h"

namespace sdr_fuzz {

// The target's name, used as the prefix of every failure line.
inline const char*& target_name() {
  static const char* name = "fuzz";
  return name;
}

inline bool is_usable_dir(const char* path) {
  struct stat st;
  return path && *path && stat(path, &st) == 0 && S_ISDIR(st.st_mode) && access(path, W_OK | X_OK) == 0;
}

// Prints a text with control characters made visible (at most 4 KiB).
inline void print_text(const char* label, const std::string& text) {
  std::fprintf(stderr, "----- %s (%zu bytes)\n", label, text.size());
  const size_t shown = text.size() < 4096 ? text.size() : 4096;
  for (size_t i = 0; i < shown; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || (c >= 0x20 && c < 0x7F)) {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02X", c);
    }
  }
  if (shown < text.size()) std::fprintf(stderr, "\n[... %zu more bytes]", text.size() - shown);
  std::fprintf(stderr, "\n-----\n");
}

// Ends the process after one or two lines on stderr that start with the
// target's name.
[[noreturn]] inline void fail(const char* what, const std::string& detail = std::string()) {
  std::fprintf(stderr, "%s: %s\n", target_name(), what);
  if (!detail.empty()) std::fprintf(stderr, "%s: %s\n", target_name(), detail.c_str());
  std::fflush(stderr);
  std::abort();
}

// The last message posted by the library, for the failure texts.
inline std::string last_message() {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  int n = report->get_num_posted();
  if (n == 0) return "(no message posted)";
  const MSG_OBJECT* m = report->get_posted_at(n - 1);
  return std::string(m->get_id()) + ": " + m->get_text();
}

// Internal errors that the documented behaviour reports for certain
// document contents (for example a mnemonic table without a name), given
// as the reported expression and the source file's base name.
struct ALLOWED_INTERNAL_ERROR {
  const char* expression;
  const char* file;
};

inline std::vector<ALLOWED_INTERNAL_ERROR>& allowed_internal_errors() {
  static std::vector<ALLOWED_INTERNAL_ERROR> allowed;
  return allowed;
}

inline bool is_allowed_internal_error(const char* expression, const char* file) {
  std::string base = file ? file : "";
  size_t slash = base.rfind('/');
  if (slash != std::string::npos) base = base.substr(slash + 1);
  for (const ALLOWED_INTERNAL_ERROR& a : allowed_internal_errors())
    if (std::strcmp(a.expression, expression) == 0 && base == a.file) return true;
  return false;
}

// Any other broken internal rule reached from input is a bug.
inline void check_internal_errors(const char* stage) {
  int n = MSG_INTERNAL_ERROR::get_num_reports();
  for (int i = 0; i < n; ++i) {
    const char* expression = MSG_INTERNAL_ERROR::get_expression_at(i);
    const char* file = MSG_INTERNAL_ERROR::get_file_at(i);
    if (is_allowed_internal_error(expression, file)) continue;
    std::string detail = std::string("after ") + stage + ": " + expression + " (" + file + ":" +
                         std::to_string(MSG_INTERNAL_ERROR::get_line_at(i)) + ")";
    fail("the library reported an internal error", detail);
  }
}

// Forgets what the last input posted.
inline void clear_records() {
  MSG_REPORT::get_default_report()->clear_posted();
  MSG_INTERNAL_ERROR::clear_reports();
}

inline bool write_bytes(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

// Reads a whole file; false when it cannot be opened.
inline bool read_bytes(const std::string& path, std::string* out) {
  out->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) out->append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

inline bool path_exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The names in a folder other than "." and "..", joined by blanks.
inline std::string list_dir(const std::string& path) {
  std::string names;
  DIR* dir = opendir(path.c_str());
  if (!dir) return names;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!names.empty()) names += ' ';
    names += name;
  }
  closedir(dir);
  return names;
}

// A folder of its own for this process, emptied and removed at exit. It is
// made under $SDR_FUZZ_TMPDIR when usable, else /dev/shm (saving fsyncs,
// which costs nothing on a tmpfs), else /tmp.
class SCRATCH {
 public:
  void make(const char* tag) {
    const char* base = std::getenv("SDR_FUZZ_TMPDIR");
    if (!is_usable_dir(base)) base = is_usable_dir("/dev/shm") ? "/dev/shm" : "/tmp";
    m_dir = std::string(base) + "/sdr_" + tag + "." + std::to_string(getpid());
    if (mkdir(m_dir.c_str(), 0700) != 0 && !is_usable_dir(m_dir.c_str()))
      fail("cannot make the scratch folder", m_dir);
    instance() = this;
    std::atexit(remove_all);
  }
  const std::string& dir() const { return m_dir; }
  std::string path(const char* name) const { return m_dir + "/" + name; }

 private:
  static SCRATCH*& instance() {
    static SCRATCH* scratch = nullptr;
    return scratch;
  }
  static void remove_all() {
    SCRATCH* s = instance();
    if (!s) return;
    if (DIR* dir = opendir(s->m_dir.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") unlink((s->m_dir + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(s->m_dir.c_str());
  }

  std::string m_dir;
};

}  // namespace sdr_fuzz

#endif
