#ifndef CFG_SERVICE_H
#define CFG_SERVICE_H

// Host configuration service. A value set with cfg_set_value wins; otherwise
// the process environment variable of exactly the key's name is used;
// otherwise the caller's default. "on", "1", "true" and "yes" (any case)
// mean on.

#include <string>

#include "sdr_export.h"

SDR_API bool cfg_is_on(const char* key, bool default_value);
SDR_API std::string cfg_get_value(const char* key, const char* default_value);
SDR_API int cfg_get_int(const char* key, int default_value);
// Sets a value for this process; a null value removes the setting.
SDR_API void cfg_set_value(const char* key, const char* value);

// Callers read a switch once and cache it. The generation changes whenever a
// value is set and when cfg_reset_caches is called, which makes every cache
// read its switch again.
SDR_API unsigned cfg_get_generation();
SDR_API void cfg_reset_caches();

// A switch read once per configuration generation.
class CFG_CACHED_SWITCH {
 public:
  CFG_CACHED_SWITCH(const char* key, bool default_value) : m_key(key), m_default(default_value) {}
  bool get() {
    unsigned gen = cfg_get_generation();
    if (!m_valid || gen != m_generation) {
      m_value = cfg_is_on(m_key, m_default);
      m_generation = gen;
      m_valid = true;
    }
    return m_value;
  }

 private:
  const char* m_key;
  bool m_default;
  bool m_value = false;
  bool m_valid = false;
  unsigned m_generation = 0;
};

// Regression-test mode: the switch "sdr_regression_test", default off.
SDR_API bool is_regression_test_mode();

#endif
