#ifndef PATH_UTIL_H
#define PATH_UTIL_H

// Path utility on std::filesystem. Paths are 8-bit strings with '/' as the
// separator.

#include <string>

#include "sdr_export.h"

class SDR_API PATH_UTIL {
 public:
  static bool is_absolute(const std::string& path);
  // The path made absolute against base, or against the current directory
  // when base is empty; simplified.
  static std::string make_absolute(const std::string& path, const std::string& base = "");
  // Removes "." segments, resolves ".." lexically, collapses repeated
  // separators and drops a trailing separator (except for the root).
  static std::string simplify(const std::string& path);
  // The absolute, simplified directory that holds the file.
  static std::string full_directory(const std::string& file_path);
  // path expressed relative to directory (both made absolute first); when no
  // relative form exists the absolute path is returned. An empty path gives
  // an empty text.
  static std::string relative_to(const std::string& path, const std::string& directory);
  // Joins a directory and a path; an absolute path is returned as is.
  static std::string join(const std::string& directory, const std::string& path);
  // True when both paths, made absolute and simplified, are equal, or when
  // both name existing files that are the same file.
  static bool same_file(const std::string& a, const std::string& b);
  static bool exists(const std::string& path);
  static std::string current_directory();
};

#endif
