#ifndef MSG_SERVICE_H
#define MSG_SERVICE_H

// Host message service: message objects, the default report that collects
// posted messages, internal-error reports and the debug trace.

#include <functional>
#include <string>
#include <vector>

#include "sdr_export.h"

// A message of the message table: numeric code, ID, severity and a text
// with numbered placeholders ("%1!s!", "%2!d!") substituted by arguments.
class SDR_API MSG_OBJECT {
 public:
  // text_and_id is the message text, then "/", then the ID.
  MSG_OBJECT(int code, const char* text_and_id, bool is_error);
  MSG_OBJECT(const MSG_OBJECT&) = default;
  MSG_OBJECT& operator=(const MSG_OBJECT&) = default;
  virtual ~MSG_OBJECT();

  void add_arg(const char* text);  // null is taken as an empty text
  void add_arg(int value);

  int get_code() const { return m_code; }
  const char* get_id() const { return m_id.c_str(); }
  bool is_error() const { return m_is_error; }
  // The text with every placeholder replaced by its argument.
  const char* get_text() const;
  // The text as in the table, placeholders unsubstituted.
  const char* get_raw_text() const { return m_raw_text.c_str(); }
  int get_num_args() const { return static_cast<int>(m_args.size()); }
  const char* get_arg_at(int index) const;

 private:
  int m_code;
  bool m_is_error;
  std::string m_raw_text;
  std::string m_id;
  std::vector<std::string> m_args;
  mutable std::string m_text;
  mutable bool m_text_valid = false;
};

class SDR_API MSG_ERROR : public MSG_OBJECT {
 public:
  MSG_ERROR(int code, const char* text_and_id) : MSG_OBJECT(code, text_and_id, true) {}
};

class SDR_API MSG_WARNING : public MSG_OBJECT {
 public:
  MSG_WARNING(int code, const char* text_and_id) : MSG_OBJECT(code, text_and_id, false) {}
};

// Collects posted messages and forwards each to an optional listener.
class SDR_API MSG_REPORT {
 public:
  using LISTENER = std::function<void(const MSG_OBJECT&)>;

  static MSG_REPORT* get_default_report();

  // Keeps a copy of the message and hands it to the listener, if any.
  void post(const MSG_OBJECT* msg);
  int get_num_posted() const { return static_cast<int>(m_posted.size()); }
  const MSG_OBJECT* get_posted_at(int index) const;
  void clear_posted() { m_posted.clear(); }
  // Installs a listener (an empty one removes it); returns the previous one.
  LISTENER set_listener(LISTENER listener);

 private:
  std::vector<MSG_OBJECT> m_posted;
  LISTENER m_listener;
};

// Reports of broken internal rules. A report is recorded and the call
// returns; it never ends the process.
class SDR_API MSG_INTERNAL_ERROR {
 public:
  static void report(const char* expression, const char* module, const char* file, int line);
  static int get_num_reports();
  static const char* get_expression_at(int index);
  static const char* get_file_at(int index);
  static int get_line_at(int index);
  static void clear_reports();
};

// Debug trace, written to stderr only when the switch "sdr_debug" is on.
SDR_API void msg_local_vdebug(const char* module, const char* format, ...)
    __attribute__((format(printf, 2, 3)));

#endif
