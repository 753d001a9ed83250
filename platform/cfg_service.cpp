#include "cfg_service.h"

#include <atomic>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

namespace {

struct CFG_STORE {
  std::mutex lock;
  std::map<std::string, std::string> values;
};

CFG_STORE& store() {
  static CFG_STORE s;
  return s;
}

std::atomic<unsigned>& generation() {
  static std::atomic<unsigned> g{1};
  return g;
}

// Looks the key up: values set in this process first, then the environment.
bool lookup(const char* key, std::string* value) {
  if (!key || !*key) return false;
  {
    CFG_STORE& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    auto it = s.values.find(key);
    if (it != s.values.end()) {
      *value = it->second;
      return true;
    }
  }
  const char* env = std::getenv(key);
  if (!env) return false;
  *value = env;
  return true;
}

bool equals_no_case(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

}  // namespace

bool cfg_is_on(const char* key, bool default_value) {
  std::string value;
  if (!lookup(key, &value)) return default_value;
  return equals_no_case(value, "on") || equals_no_case(value, "1") || equals_no_case(value, "true") ||
         equals_no_case(value, "yes");
}

std::string cfg_get_value(const char* key, const char* default_value) {
  std::string value;
  if (lookup(key, &value)) return value;
  return default_value ? default_value : "";
}

int cfg_get_int(const char* key, int default_value) {
  std::string value;
  if (!lookup(key, &value)) return default_value;
  size_t i = 0;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) ++i;
  if (i >= value.size()) return default_value;
  for (size_t j = i; j < value.size(); ++j) {
    if (!std::isdigit(static_cast<unsigned char>(value[j]))) return default_value;
  }
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(value.c_str(), &end, 10);
  if (errno == ERANGE || !end || *end != '\0') return default_value;
  if (parsed < INT_MIN || parsed > INT_MAX) return default_value;
  return static_cast<int>(parsed);
}

void cfg_set_value(const char* key, const char* value) {
  if (!key || !*key) return;
  {
    CFG_STORE& s = store();
    std::lock_guard<std::mutex> guard(s.lock);
    if (value) {
      s.values[key] = value;
    } else {
      s.values.erase(key);
    }
  }
  ++generation();
}

unsigned cfg_get_generation() {
  return generation().load();
}

void cfg_reset_caches() {
  ++generation();
}

bool is_regression_test_mode() {
  static CFG_CACHED_SWITCH regression_test("sdr_regression_test", false);
  return regression_test.get();
}
