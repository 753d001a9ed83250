#ifndef TZO_SCRIPT_H
#define TZO_SCRIPT_H

// The line format of editing scripts, as the transaction layer's recorder
// writes them and tzo exec and tzo replay read them:
//
//   // a comment                          (skipped, as are blank lines)
//   create_session 'name'                 session command
//   instance 0 set_incr_cmp_mode true     instance command
//   instance 0 setup_tab move_before_node 3 5 9 false
//   instance 1 data_tab set_sample_depth 256
//   ->instance 0 setup_tab ...            nested command (skipped)
//
// Arguments: 'quoted text' with \' \\ \n \t escapes, NULL, decimal ints,
// true and false. Enumerations and int lists are quoted texts ('post',
// '1,2,3'). A /* ... */ marker (the recorder's source location) counts as
// blank. This unit only reads and prints lines; it knows no command.

#include <cstdio>
#include <string>
#include <vector>

namespace tzo {

enum class SCRIPT_TOKEN_KIND { WORD, STRING, NULL_VALUE, INT, BOOL };

struct SCRIPT_TOKEN {
  SCRIPT_TOKEN_KIND kind = SCRIPT_TOKEN_KIND::WORD;
  std::string text;  // WORD and STRING
  int value = 0;     // INT; BOOL as 0 or 1

  bool operator==(const SCRIPT_TOKEN& other) const {
    return kind == other.kind && text == other.text && value == other.value;
  }
};

// Which object a command addresses.
enum class SCRIPT_FORM { SESSION, INSTANCE, DATA_TAB, SETUP_TAB };

struct SCRIPT_COMMAND {
  SCRIPT_FORM form = SCRIPT_FORM::SESSION;
  int instance = -1;  // the N of "instance N"; -1 in the session form
  std::string name;
  std::vector<SCRIPT_TOKEN> args;

  bool operator==(const SCRIPT_COMMAND& other) const {
    return form == other.form && instance == other.instance && name == other.name && args == other.args;
  }
};

enum class SCRIPT_LINE_KIND { COMMAND, SKIPPED, ERROR };

// Parses one line (without its line feed; a trailing carriage return is
// ignored). On ERROR, *error says what is wrong.
SCRIPT_LINE_KIND parse_script_line(const std::string& line, SCRIPT_COMMAND* command, std::string* error);

// The canonical text of a command: parsing it gives the same command.
std::string print_script_command(const SCRIPT_COMMAND& command);
std::string print_script_token(const SCRIPT_TOKEN& token);
// 'text' with the escapes above.
std::string quote_script_text(const std::string& text);

// Reads a script line by line with a bounded line length.
class SCRIPT_READER {
 public:
  // Longer lines are refused, not read into memory.
  static constexpr size_t MAX_LINE = 1 << 20;

  enum RESULT { LINE, END, TOO_LONG, READ_ERROR };

  // Does not own stream.
  explicit SCRIPT_READER(std::FILE* stream, size_t max_line = MAX_LINE)
      : m_stream(stream), m_max_line(max_line) {}
  // The next line into *line (line feed removed); its number is
  // get_line_number() from then on.
  RESULT next(std::string* line);
  int get_line_number() const { return m_line_number; }

 private:
  std::FILE* m_stream;
  size_t m_max_line;
  int m_line_number = 0;
};

}  // namespace tzo

#endif
