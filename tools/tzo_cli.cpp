#include "tzo_cli.h"

#include <cstdio>
#include <string>
#include <vector>

#include "msg_service.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"

namespace tzo {
namespace {

SDR_DATA_MANAGER* g_manager = nullptr;

SDR_DATA_MANAGER* manager() {
  if (!g_manager) g_manager = SDR_DATA_MANAGER::get_data_repository_manager();
  return g_manager;
}

}  // namespace

SDR_DATA_MANAGER* data_manager() {
  return manager();
}

const std::string& ARGS::get(const char* name) const {
  static const std::string none;
  auto it = options.find(name);
  return it == options.end() ? none : it->second;
}

// Results written so far go out before a message, so that both streams
// stay in order when they share a terminal or a log.
void report(const std::string& subject, const std::string& text) {
  std::fflush(stdout);
  std::fprintf(stderr, "tzo: %s: %s\n", subject.c_str(), text.c_str());
}

void report_messages(const std::string& file, const std::vector<MSG_OBJECT>& messages) {
  if (!messages.empty()) std::fflush(stdout);
  for (const MSG_OBJECT& m : messages)
    std::fprintf(stderr, "tzo: %s: %s [%s]\n", file.c_str(), m.get_text(), m.get_id());
}

std::vector<MSG_OBJECT> take_posted_messages() {
  MSG_REPORT* posted = MSG_REPORT::get_default_report();
  std::vector<MSG_OBJECT> messages;
  int count = posted->get_num_posted();
  messages.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) messages.push_back(*posted->get_posted_at(i));
  posted->clear_posted();
  return messages;
}

void out(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void SESSION_CLOSER::operator()(SDR_DATA_SESSION* session) const {
  if (session) manager()->close_independent_session(session);
}

LOADED_FILE load_file(const std::string& path) {
  LOADED_FILE file;
  // Whatever an earlier step left in the report does not belong to this file.
  take_posted_messages();
  file.session.reset(manager()->open_independent_session(path.c_str()));
  file.messages = take_posted_messages();
  for (const MSG_OBJECT& m : file.messages) ++(m.is_error() ? file.errors : file.warnings);
  return file;
}

void release_manager() {
  delete g_manager;
  g_manager = nullptr;
}

SESSION_PTR load_reporting(const std::string& path, bool* has_errors) {
  LOADED_FILE file = load_file(path);
  report_messages(path, file.messages);
  if (!file.session && file.messages.empty()) report(path, "cannot read the file");
  *has_errors = file.errors > 0 || !file.session;
  return std::move(file.session);
}

bool read_bytes(const std::string& path, std::string* bytes) {
  bytes->clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[1 << 16];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes->append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

bool is_older_text_layout(const std::string& bytes) {
  static const char marker[] = "[@\\TZO=";
  const size_t length = sizeof marker - 1;
  if (bytes.size() < length) return false;
  for (size_t i = 0; i < length; ++i) {
    char c = bytes[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != marker[i]) return false;
  }
  return true;
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string base_name_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string printable(const char* text) {
  std::string result;
  if (!text) return result;
  for (const char* p = text; *p; ++p) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c >= 0x20 && c != 0x7f) {
      result += *p;
    } else if (c == '\n') {
      result += "\\n";
    } else if (c == '\t') {
      result += "\\t";
    } else if (c == '\r') {
      result += "\\r";
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", c);
      result += escape;
    }
  }
  return result;
}

}  // namespace tzo
