#include "path_util.h"

#include <filesystem>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::string drop_trailing_separator(std::string text) {
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

}  // namespace

bool PATH_UTIL::is_absolute(const std::string& path) {
  return !path.empty() && fs::path(path).is_absolute();
}

std::string PATH_UTIL::simplify(const std::string& path) {
  if (path.empty()) return "";
  return drop_trailing_separator(fs::path(path).lexically_normal().generic_string());
}

std::string PATH_UTIL::make_absolute(const std::string& path, const std::string& base) {
  if (is_absolute(path)) return simplify(path);
  std::string dir = base.empty() ? current_directory() : base;
  if (!is_absolute(dir)) {
    const std::string cwd = current_directory();
    dir = cwd.empty() ? dir : (fs::path(cwd) / dir).generic_string();
  }
  if (path.empty()) return simplify(dir);
  return simplify((fs::path(dir) / path).generic_string());
}

std::string PATH_UTIL::full_directory(const std::string& file_path) {
  const std::string absolute = make_absolute(file_path);
  if (absolute.empty()) return "";
  return simplify(fs::path(absolute).parent_path().generic_string());
}

std::string PATH_UTIL::relative_to(const std::string& path, const std::string& directory) {
  if (path.empty()) return "";
  const std::string absolute = make_absolute(path);
  const std::string dir = make_absolute(directory);
  const fs::path relative = fs::path(absolute).lexically_relative(dir);
  if (relative.empty()) return absolute;
  return relative.generic_string();
}

std::string PATH_UTIL::join(const std::string& directory, const std::string& path) {
  if (is_absolute(path) || directory.empty()) return path;
  if (path.empty()) return directory;
  return (fs::path(directory) / path).generic_string();
}

bool PATH_UTIL::same_file(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  if (make_absolute(a) == make_absolute(b)) return true;
  if (!exists(a) || !exists(b)) return false;
  std::error_code ec;
  const bool same = fs::equivalent(a, b, ec);
  return !ec && same;
}

bool PATH_UTIL::exists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  const bool found = fs::exists(path, ec);
  return !ec && found;
}

std::string PATH_UTIL::current_directory() {
  std::error_code ec;
  const fs::path cwd = fs::current_path(ec);
  if (ec) return "";
  return cwd.generic_string();
}
