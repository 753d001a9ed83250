#include "msg_service.h"

#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "cfg_service.h"

namespace {

// Parses a placeholder "%N!conv!" starting at text[pos] (which is '%').
// On success returns true, sets the argument number (1-based) and the
// length of the whole placeholder.
bool parse_placeholder(const std::string& text, size_t pos, long* number, size_t* length) {
  size_t i = pos + 1;
  const size_t size = text.size();
  long n = 0;
  size_t digits = 0;
  while (i < size && std::isdigit(static_cast<unsigned char>(text[i]))) {
    if (n < INT_MAX / 10) {
      n = n * 10 + (text[i] - '0');
    } else {
      n = LONG_MAX;  // far beyond any argument count
    }
    ++i;
    ++digits;
  }
  if (digits == 0 || i >= size || text[i] != '!') return false;
  ++i;
  size_t conv = 0;
  while (i < size && text[i] != '!') {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    // Conversion letters plus the usual printf flags, width and length.
    if (!std::isalnum(c) && c != '-' && c != '+' && c != ' ' && c != '#' && c != '.') return false;
    ++i;
    ++conv;
  }
  if (conv == 0 || i >= size) return false;
  *number = n;
  *length = i + 1 - pos;
  return true;
}

struct INTERNAL_REPORT {
  std::string expression;
  std::string module;
  std::string file;
  int line;
};

std::vector<INTERNAL_REPORT>& internal_reports() {
  static std::vector<INTERNAL_REPORT> reports;
  return reports;
}

const INTERNAL_REPORT* internal_report_at(int index) {
  const std::vector<INTERNAL_REPORT>& reports = internal_reports();
  if (index < 0 || static_cast<size_t>(index) >= reports.size()) return nullptr;
  return &reports[static_cast<size_t>(index)];
}

}  // namespace

// ---------------------------------------------------------------- MSG_OBJECT

MSG_OBJECT::MSG_OBJECT(int code, const char* text_and_id, bool is_error)
    : m_code(code), m_is_error(is_error) {
  const std::string whole = text_and_id ? text_and_id : "";
  const size_t slash = whole.rfind('/');
  if (slash == std::string::npos) {
    m_raw_text = whole;
  } else {
    m_raw_text = whole.substr(0, slash);
    m_id = whole.substr(slash + 1);
  }
}

MSG_OBJECT::~MSG_OBJECT() = default;

void MSG_OBJECT::add_arg(const char* text) {
  m_args.emplace_back(text ? text : "");
  m_text_valid = false;
}

void MSG_OBJECT::add_arg(int value) {
  m_args.push_back(std::to_string(value));
  m_text_valid = false;
}

const char* MSG_OBJECT::get_arg_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_args.size()) return nullptr;
  return m_args[static_cast<size_t>(index)].c_str();
}

const char* MSG_OBJECT::get_text() const {
  if (m_text_valid) return m_text.c_str();
  std::string out;
  out.reserve(m_raw_text.size());
  size_t pos = 0;
  while (pos < m_raw_text.size()) {
    const char c = m_raw_text[pos];
    long number = 0;
    size_t length = 0;
    if (c == '%' && parse_placeholder(m_raw_text, pos, &number, &length) && number >= 1 &&
        static_cast<unsigned long>(number) <= m_args.size()) {
      out += m_args[static_cast<size_t>(number - 1)];
      pos += length;
    } else {
      out += c;
      ++pos;
    }
  }
  m_text = std::move(out);
  m_text_valid = true;
  return m_text.c_str();
}

// ---------------------------------------------------------------- MSG_REPORT

MSG_REPORT* MSG_REPORT::get_default_report() {
  static MSG_REPORT report;
  return &report;
}

void MSG_REPORT::post(const MSG_OBJECT* msg) {
  if (!msg) return;
  m_posted.push_back(*msg);
  if (m_listener) {
    // A copy: the listener may replace itself while it runs.
    LISTENER listener = m_listener;
    listener(*msg);
  }
}

const MSG_OBJECT* MSG_REPORT::get_posted_at(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= m_posted.size()) return nullptr;
  return &m_posted[static_cast<size_t>(index)];
}

MSG_REPORT::LISTENER MSG_REPORT::set_listener(LISTENER listener) {
  LISTENER previous = std::move(m_listener);
  m_listener = std::move(listener);
  return previous;
}

// ---------------------------------------------------------------- MSG_INTERNAL_ERROR

void MSG_INTERNAL_ERROR::report(const char* expression, const char* module, const char* file, int line) {
  INTERNAL_REPORT r{expression ? expression : "", module ? module : "", file ? file : "", line};
  if (cfg_is_on("sdr_debug", false)) {
    std::fprintf(stderr, "%s: internal error: %s (%s:%d)\n", r.module.empty() ? "SDR" : r.module.c_str(),
                 r.expression.c_str(), r.file.c_str(), line);
  }
  internal_reports().push_back(std::move(r));
}

int MSG_INTERNAL_ERROR::get_num_reports() {
  return static_cast<int>(internal_reports().size());
}

const char* MSG_INTERNAL_ERROR::get_expression_at(int index) {
  const INTERNAL_REPORT* r = internal_report_at(index);
  return r ? r->expression.c_str() : nullptr;
}

const char* MSG_INTERNAL_ERROR::get_file_at(int index) {
  const INTERNAL_REPORT* r = internal_report_at(index);
  return r ? r->file.c_str() : nullptr;
}

int MSG_INTERNAL_ERROR::get_line_at(int index) {
  const INTERNAL_REPORT* r = internal_report_at(index);
  return r ? r->line : -1;
}

void MSG_INTERNAL_ERROR::clear_reports() {
  internal_reports().clear();
}

// ---------------------------------------------------------------- debug trace

void msg_local_vdebug(const char* module, const char* format, ...) {
  if (!format || !cfg_is_on("sdr_debug", false)) return;
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    text.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  std::fprintf(stderr, "%s: %s\n", (module && *module) ? module : "SDR", text.c_str());
}
