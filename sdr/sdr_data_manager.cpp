#include "sdr_data_manager.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <xercesc/util/PlatformUtils.hpp>

#include "path_util.h"
#include "sdr_basic.h"
#include "sdr_data_session.h"
#include "sdr_internal.h"

using namespace xercesc;

namespace {

SDR_DATA_MANAGER* g_manager = nullptr;

// State of the default-name generator.
bool g_name_first_call = true;
time_t g_name_last_time = 0;
unsigned short g_name_counter = 65535;
time_t (*g_name_clock)() = nullptr;

time_t now() {
  return g_name_clock ? g_name_clock() : time(nullptr);
}

}  // namespace

SDR_DATA_MANAGER* SDR_DATA_MANAGER::get_data_repository_manager() {
  if (!g_manager) g_manager = new SDR_DATA_MANAGER();
  return g_manager;
}

SDR_DATA_MANAGER::SDR_DATA_MANAGER() {
  try {
    XMLPlatformUtils::Initialize();
    m_platform_initialized = true;
  } catch (...) {
    SDR_CHECK_AS(false, "XMLPlatformUtils::Initialize() succeeded");
  }
  std::srand(static_cast<unsigned>(time(nullptr)));
}

SDR_DATA_MANAGER::~SDR_DATA_MANAGER() {
  save_all_session(false);
  delete_all_session();
  save_all_basic_session(false);
  delete_all_basic_session();
  if (m_platform_initialized) XMLPlatformUtils::Terminate();
  if (g_manager == this) g_manager = nullptr;
}

void SDR_DATA_MANAGER::set_name_clock(time_t (*clock)()) {
  g_name_clock = clock;
}

STL_STRING* SDR_DATA_MANAGER::name_auto_gen(const char* prefix) {
  if (g_name_first_call) {
    g_name_first_call = false;
    g_name_last_time = now();
  }
  if (!prefix) prefix = "generic";
  time_t t = now();
  if (t == g_name_last_time) {
    ++g_name_counter;
  } else {
    g_name_counter = 0;
    g_name_last_time = t;
  }
  char stamp[64] = "";
  struct tm local;
  if (localtime_r(&t, &local)) strftime(stamp, sizeof stamp, ": %Y/%m/%d %H:%M:%S ", &local);
  char counter[16];
  std::snprintf(counter, sizeof counter, " #%d", static_cast<int>(g_name_counter));
  return new STL_STRING(std::string(prefix) + stamp + counter);
}

size_t SDR_DATA_MANAGER::find_index(const char* path) const {
  if (!path) return m_sessions.size();
  std::string wanted = PATH_UTIL::make_absolute(path);
  for (size_t i = 0; i < m_sessions.size(); ++i) {
    const char* name = m_sessions[i]->get_name();
    if (name && PATH_UTIL::same_file(wanted, PATH_UTIL::make_absolute(name))) return i;
  }
  return m_sessions.size();
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::find(const char* path) const {
  size_t i = find_index(path);
  return i < m_sessions.size() ? m_sessions[i] : nullptr;
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::get_session_at(int index) const {
  return index >= 0 && static_cast<size_t>(index) < m_sessions.size() ? m_sessions[index] : nullptr;
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::create_session(const char* name) {
  SDR_DATA_SESSION* ret = new (std::nothrow) SDR_DATA_SESSION();
  if (!SDR_CHECK(ret != NULL)) return nullptr;
  ret->set_name((std::string(name ? name : "") + "*").c_str());
  m_sessions.push_back(ret);
  ret->increment_open_ref();
  return ret;
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::open_session(const char* path) {
  if (!path) return nullptr;
  if (SDR_DATA_SESSION* s = find(path)) {
    s->increment_open_ref();
    return s;
  }
  SDR_DATA_SESSION* s = new SDR_DATA_SESSION(path);
  if (!s->get_name()) {
    delete s;
    return nullptr;
  }
  m_sessions.push_back(s);
  s->increment_open_ref();
  return s;
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::open_session_from_tzo(const char* path) {
  if (!path) return nullptr;
  if (SDR_DATA_SESSION* s = find(path)) {
    s->increment_open_ref();
    return s;
  }
  SDR_DATA_SESSION* ret = new (std::nothrow) SDR_DATA_SESSION();
  if (!SDR_CHECK(ret != NULL)) return nullptr;
  ret->set_name(path);
  m_sessions.push_back(ret);
  ret->parse_tzo_file();
  ret->increment_open_ref();
  return ret;
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::open_independent_session(const char* path) {
  if (!path) return nullptr;
  SDR_DATA_SESSION* s = new SDR_DATA_SESSION(path);
  if (!s->get_name()) {
    delete s;
    return nullptr;
  }
  return s;
}

SDR_DATA_SESSION* SDR_DATA_MANAGER::get_session_opened(const char* path) const {
  return find(path);
}

bool SDR_DATA_MANAGER::is_session_opened(const char* path) const {
  return find(path) != nullptr;
}

bool SDR_DATA_MANAGER::close_session(const char* path) {
  size_t i = find_index(path);
  if (i >= m_sessions.size()) return false;
  SDR_DATA_SESSION* s = m_sessions[i];
  s->decrement_open_ref();
  if (s->is_open_ref_zero()) {
    m_sessions.erase(m_sessions.begin() + static_cast<std::ptrdiff_t>(i));
    delete s;
  }
  return true;
}

bool SDR_DATA_MANAGER::close_independent_session(SDR_DATA_SESSION* session) {
  if (!session) return false;
  delete session;
  return true;
}

void SDR_DATA_MANAGER::delete_all_session() {
  for (SDR_DATA_SESSION* s : m_sessions) delete s;
  m_sessions.clear();
}

void SDR_DATA_MANAGER::save_all_session(bool keep_names) {
  for (SDR_DATA_SESSION* s : m_sessions) {
    if (!s) continue;
    if (keep_names) {
      s->save(true);
      continue;
    }
    const char* name = s->get_name();
    std::string recovered = get_recovery_name(name);
    s->set_name(recovered.c_str());
    if (!s->save(false))
      sdr_report_internal_error(("recovery file written: " + recovered).c_str(), __FILE__, __LINE__);
  }
}

STL_STRING SDR_DATA_MANAGER::get_recovery_name(const char* name) {
  std::string text = name ? name : "";
  std::string marker = "recovered";
  if (!text.empty() && text.back() == '*') {
    text.pop_back();
    marker = "tmp_recovered";
  }
  // Only the file-name part is split: a directory may hold dots too.
  size_t slash = text.rfind('/');
  size_t file_start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = text.find('.', file_start);
  if (dot == std::string::npos) return text + "_" + marker;
  return text.substr(0, dot) + "_" + marker + text.substr(dot);
}

// ----------------------------------------------------------- basic sessions

size_t SDR_DATA_MANAGER::find_basic_index(const char* path) const {
  if (!path) return m_basic_sessions.size();
  std::string wanted = PATH_UTIL::make_absolute(path);
  for (size_t i = 0; i < m_basic_sessions.size(); ++i) {
    const char* name = m_basic_sessions[i]->get_name();
    if (name && PATH_UTIL::same_file(wanted, PATH_UTIL::make_absolute(name))) return i;
  }
  return m_basic_sessions.size();
}

SDR_BASIC_SESSION* SDR_DATA_MANAGER::find_basic_session(const char* path) const {
  size_t i = find_basic_index(path);
  return i < m_basic_sessions.size() ? m_basic_sessions[i] : nullptr;
}

SDR_BASIC_SESSION* SDR_DATA_MANAGER::create_basic_session(const char* name) {
  SDR_BASIC_SESSION* ret = new (std::nothrow) SDR_BASIC_SESSION("session", name ? name : "", true);
  if (!SDR_CHECK(ret != NULL)) return nullptr;
  m_basic_sessions.push_back(ret);
  ret->increment_open_ref();
  return ret;
}

SDR_BASIC_SESSION* SDR_DATA_MANAGER::open_basic_session(const char* path) {
  if (!path) return nullptr;
  if (SDR_BASIC_SESSION* s = find_basic_session(path)) {
    s->increment_open_ref();
    return s;
  }
  std::unique_ptr<SDR_BASIC_SESSION> s(new SDR_BASIC_SESSION("session", path, true));
  if (s->open(path) != SDR_BASIC_ERROR_CODE_OK) return nullptr;
  m_basic_sessions.push_back(s.get());
  s->increment_open_ref();
  return s.release();
}

SDR_BASIC_SESSION* SDR_DATA_MANAGER::get_basic_session_opened(const char* path) const {
  return find_basic_session(path);
}

bool SDR_DATA_MANAGER::is_basic_session_opened(const char* path) const {
  return find_basic_session(path) != nullptr;
}

void SDR_DATA_MANAGER::release_basic_at(size_t index) {
  SDR_BASIC_SESSION* s = m_basic_sessions[index];
  s->decrement_open_ref();
  if (s->is_open_ref_zero()) {
    m_basic_sessions.erase(m_basic_sessions.begin() + static_cast<std::ptrdiff_t>(index));
    delete s;
  }
}

bool SDR_DATA_MANAGER::close_basic_session(const char* path) {
  size_t i = find_basic_index(path);
  if (i >= m_basic_sessions.size()) return false;
  release_basic_at(i);
  return true;
}

bool SDR_DATA_MANAGER::close_basic_session(SDR_BASIC_SESSION* session) {
  for (size_t i = 0; session && i < m_basic_sessions.size(); ++i) {
    if (m_basic_sessions[i] != session) continue;
    release_basic_at(i);
    return true;
  }
  return false;
}

void SDR_DATA_MANAGER::delete_all_basic_session() {
  for (SDR_BASIC_SESSION* s : m_basic_sessions) delete s;
  m_basic_sessions.clear();
}

void SDR_DATA_MANAGER::save_all_basic_session(bool keep_names) {
  for (SDR_BASIC_SESSION* s : m_basic_sessions) {
    if (!s) continue;
    if (keep_names) {
      s->save();
      continue;
    }
    std::string recovered = get_recovery_name(s->get_name());
    if (s->save_as(recovered.c_str()) != SDR_BASIC_ERROR_CODE_OK)
      sdr_report_internal_error(("recovery file written: " + recovered).c_str(), __FILE__, __LINE__);
  }
}
