// Reading and printing script lines.

#include "tzo_script.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "sdr_tx_script_recorder.h"

namespace tzo {
namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t';
}

bool is_word_start(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

bool is_word_char(char c) {
  return is_word_start(c) || (c >= '0' && c <= '9');
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// A character as it may be shown in a message.
std::string shown(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x21 && u < 0x7f) return std::string("'") + c + "'";
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02x", u);
  return text;
}

// Splits a line into tokens. False with *error on a malformed token.
bool tokenize(const std::string& line, size_t end, std::vector<SCRIPT_TOKEN>* tokens, std::string* error) {
  size_t i = 0;
  while (i < end) {
    const char c = line[i];
    if (is_blank(c)) {
      ++i;
      continue;
    }
    if (c == '/' && i + 1 < end && line[i + 1] == '*') {
      const size_t close = line.find("*/", i + 2);
      if (close == std::string::npos || close + 2 > end) {
        *error = "unterminated /* marker";
        return false;
      }
      i = close + 2;
      continue;
    }
    SCRIPT_TOKEN token;
    if (c == '\'') {
      token.kind = SCRIPT_TOKEN_KIND::STRING;
      ++i;
      bool closed = false;
      while (i < end) {
        const char d = line[i++];
        if (d == '\'') {
          closed = true;
          break;
        }
        if (d == '\0') {
          *error = "NUL byte in a quoted text";
          return false;
        }
        if (d != '\\') {
          token.text += d;
          continue;
        }
        if (i >= end) break;
        const char e = line[i++];
        switch (e) {
          case '\'':
          case '\\':
            token.text += e;
            break;
          case 'n':
            token.text += '\n';
            break;
          case 't':
            token.text += '\t';
            break;
          default:
            *error = "unknown escape \\" + std::string(1, e) + " in a quoted text (known: \\' \\\\ \\n \\t)";
            if (static_cast<unsigned char>(e) < 0x21 || static_cast<unsigned char>(e) >= 0x7f)
              *error = "unknown escape " + shown(e) + " after \\ in a quoted text";
            return false;
        }
      }
      if (!closed) {
        *error = "unterminated quoted text";
        return false;
      }
    } else if (is_word_start(c)) {
      size_t j = i;
      while (j < end && is_word_char(line[j])) ++j;
      token.text = line.substr(i, j - i);
      i = j;
      if (token.text == "NULL") {
        token.kind = SCRIPT_TOKEN_KIND::NULL_VALUE;
        token.text.clear();
      } else if (token.text == "true" || token.text == "false") {
        token.kind = SCRIPT_TOKEN_KIND::BOOL;
        token.value = token.text == "true";
        token.text.clear();
      }
    } else if (is_digit(c) || (c == '-' && i + 1 < end && is_digit(line[i + 1]))) {
      size_t j = i + 1;
      while (j < end && is_digit(line[j])) ++j;
      const std::string digits = line.substr(i, j - i);
      if (j < end && !is_blank(line[j]) && line[j] != '/') {
        size_t k = j;
        while (k < end && !is_blank(line[k]) && k - i < 40) ++k;
        *error = "malformed number '" + line.substr(i, k - i) + "'";
        return false;
      }
      errno = 0;
      const long long value = digits.size() > 12 ? LLONG_MAX : std::strtoll(digits.c_str(), nullptr, 10);
      if (errno != 0 || value > INT_MAX || value < INT_MIN) {
        *error = "number out of range: " + (digits.size() > 40 ? digits.substr(0, 40) + "..." : digits);
        return false;
      }
      token.kind = SCRIPT_TOKEN_KIND::INT;
      token.value = static_cast<int>(value);
      i = j;
    } else {
      *error = "unexpected character " + shown(c);
      return false;
    }
    tokens->push_back(std::move(token));
  }
  return true;
}

}  // namespace

SCRIPT_LINE_KIND parse_script_line(const std::string& line, SCRIPT_COMMAND* command, std::string* error) {
  *command = SCRIPT_COMMAND();
  size_t end = line.size();
  if (end > 0 && line[end - 1] == '\r') --end;
  size_t first = 0;
  while (first < end && is_blank(line[first])) ++first;
  if (first == end) return SCRIPT_LINE_KIND::SKIPPED;
  // Comments, and the nested commands of the low-level mode.
  if (line.compare(first, 2, "//") == 0 || line[first] == '-') return SCRIPT_LINE_KIND::SKIPPED;

  std::vector<SCRIPT_TOKEN> tokens;
  if (!tokenize(line, end, &tokens, error)) return SCRIPT_LINE_KIND::ERROR;
  if (tokens.empty()) return SCRIPT_LINE_KIND::SKIPPED;

  size_t next = 0;
  auto word_at = [&](size_t k) { return k < tokens.size() && tokens[k].kind == SCRIPT_TOKEN_KIND::WORD; };
  if (!word_at(0)) {
    *error = "a line starts with a command name, not " + print_script_token(tokens[0]);
    return SCRIPT_LINE_KIND::ERROR;
  }
  if (tokens[0].text == "instance") {
    if (tokens.size() < 2 || tokens[1].kind != SCRIPT_TOKEN_KIND::INT || tokens[1].value < 0) {
      *error = "'instance' is followed by an instance index (0, 1, ...)";
      return SCRIPT_LINE_KIND::ERROR;
    }
    command->form = SCRIPT_FORM::INSTANCE;
    command->instance = tokens[1].value;
    next = 2;
    if (word_at(next) && (tokens[next].text == "setup_tab" || tokens[next].text == "data_tab")) {
      command->form = tokens[next].text == "setup_tab" ? SCRIPT_FORM::SETUP_TAB : SCRIPT_FORM::DATA_TAB;
      ++next;
    }
    if (!word_at(next)) {
      *error = "a command name is missing after 'instance " + std::to_string(command->instance) + "'";
      return SCRIPT_LINE_KIND::ERROR;
    }
  }
  command->name = tokens[next].text;
  command->args.assign(tokens.begin() + static_cast<std::ptrdiff_t>(next + 1), tokens.end());
  return SCRIPT_LINE_KIND::COMMAND;
}

// The quoting of the recorder, so that what is printed reads back as it
// was recorded. A parsed text never holds a NUL byte.
std::string quote_script_text(const std::string& text) {
  return SDR_TX_SCRIPT_RECORDER::quote(text.c_str());
}

std::string print_script_token(const SCRIPT_TOKEN& token) {
  switch (token.kind) {
    case SCRIPT_TOKEN_KIND::WORD:
      return token.text;
    case SCRIPT_TOKEN_KIND::STRING:
      return quote_script_text(token.text);
    case SCRIPT_TOKEN_KIND::NULL_VALUE:
      return "NULL";
    case SCRIPT_TOKEN_KIND::INT:
      return std::to_string(token.value);
    case SCRIPT_TOKEN_KIND::BOOL:
      return token.value ? "true" : "false";
  }
  return std::string();
}

std::string print_script_command(const SCRIPT_COMMAND& command) {
  std::string text;
  if (command.form != SCRIPT_FORM::SESSION) text = "instance " + std::to_string(command.instance) + " ";
  if (command.form == SCRIPT_FORM::SETUP_TAB) text += "setup_tab ";
  if (command.form == SCRIPT_FORM::DATA_TAB) text += "data_tab ";
  text += command.name;
  for (const SCRIPT_TOKEN& token : command.args) text += " " + print_script_token(token);
  return text;
}

SCRIPT_READER::RESULT SCRIPT_READER::next(std::string* line) {
  line->clear();
  int c = std::getc(m_stream);
  if (c == EOF) return std::ferror(m_stream) ? READ_ERROR : END;
  ++m_line_number;
  while (c != EOF && c != '\n') {
    if (line->size() >= m_max_line) return TOO_LONG;
    line->push_back(static_cast<char>(c));
    c = std::getc(m_stream);
  }
  if (c == EOF && std::ferror(m_stream)) return READ_ERROR;
  return LINE;
}

}  // namespace tzo
