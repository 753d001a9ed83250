#ifndef SDR_LANG_PARSER_H
#define SDR_LANG_PARSER_H

// The scanner and parser of basic trigger-level condition expressions, such
// as 'a' == rising edge && 'b' == high && 'cnt' == 0x1F. Each term is handed
// to the actions as soon as it is recognised.

#include <cstddef>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"

// The longest condition text that is parsed (16 MiB).
constexpr size_t SDR_COND_MAX_LENGTH = size_t(16) * 1024 * 1024;

class SDR_COND_ACTIONS {
 public:
  virtual ~SDR_COND_ACTIONS() = default;
  // name == high | low | rising edge | falling edge | either edge | dont_care
  virtual void apply_condition(const char* name, SDR_DATA_TRIGGER_CONDITION condition) = 0;
  // name == symbol (a name; "table.symbol" is split by the receiver)
  virtual void apply_symbol(const char* name, const char* symbol) = 0;
  // name == number (decimal, 0x/h hexadecimal, o octal, b binary), as a
  // 32-bit value
  virtual void apply_value(const char* name, long value) = 0;
};

// Parses length bytes of text. Terms before a syntax error stay applied; the
// error posts WSDR_COND_SYNTAX with trigger_name, level and the token text
// at which parsing stopped (empty at the end of the input; a quoted name
// with its quotes). Texts longer than SDR_COND_MAX_LENGTH are refused with
// WSDR_COND_SYNTAX and an empty token text, before any term. A stray "&",
// "=" or "\" is written to the standard output and skipped.
SDR_API void sdr_parse_condition_expression(const char* text, size_t length, SDR_COND_ACTIONS* actions,
                                            const char* trigger_name, int level);

#endif
