#include "sdr_data_global_enum.h"

#include <cstring>

#include "msg_service.h"

namespace {

#define ENUM_CHECK(expr) \
  ((expr) ? true : (MSG_INTERNAL_ERROR::report(#expr, "SDR", "sdr_data_global_enum.cpp", __LINE__), false))

// Texts of the table-indexed enumerations; the index is the value.
const char* const TRIGGER_CONDITION_TEXTS[] = {"disable",      "active high", "active low",
                                               "high",         "low",         "rising edge",
                                               "falling edge", "either edge", "dont_care"};
const char* const TRIGGER_POSITION_TEXTS[] = {"pre", "center", "post", "continuous"};
const char* const TRIGGER_TYPE_TEXTS[] = {"circular", "segmented"};
const char* const GROUP_DISPLAY_TEXTS[] = {"mnemonics",    "bin",  "signed_dec", "sign_magnitude_dec",
                                           "unsigned_dec", "hex",  "oct",        "ascii",
                                           "bar",          "line", "bar_signed", "line_signed"};
const char* const NODE_DISPLAY_TEXTS[] = {"standalone", "expand_group", "collapse_group", "group_member",
                                          "last_group_member"};
const char* const RAM_TYPE_TEXTS[] = {"AUTO", "RAMBASE", "RAMLITE", "RAMGRAND"};

// First character of a text, or '\0' for a null or empty text.
char first_char(const char* text) {
  return text ? text[0] : '\0';
}

// Index of the table entry equal to the whole text, or -1.
template <size_t N>
int find_exact(const char* const (&table)[N], const char* text) {
  if (!text) return -1;
  for (size_t i = 0; i < N; ++i) {
    if (std::strcmp(table[i], text) == 0) return static_cast<int>(i);
  }
  return -1;
}

// Text of a table-indexed value; a value outside the table is an internal
// error and gives the text of the reading fallback.
template <size_t N>
const char* indexed_text(const char* const (&table)[N], int value, size_t fallback, int line) {
  const bool in_range = value >= 0 && static_cast<size_t>(value) < N;
  if (!in_range) {
    MSG_INTERNAL_ERROR::report("value in range", "SDR", "sdr_data_global_enum.cpp", line);
    return table[fallback];
  }
  return table[value];
}

bool piece_is(const char* begin, size_t len, const char* word) {
  return std::strlen(word) == len && std::strncmp(begin, word, len) == 0;
}

}  // namespace

// ---------------------------------------------------------------- signal type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_SIGNAL_TYPE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (value) {
    case SDR_STYPE_INPUT_PIN:
      *out = "input pin";
      break;
    case SDR_STYPE_OUTPUT_PIN:
      *out = "output pin";
      break;
    case SDR_STYPE_BIDIR_PIN:
      *out = "bidir pin";
      break;
    case SDR_STYPE_MEMORY:
      *out = "memory";
      break;
    case SDR_STYPE_REGISTER:
      *out = "register";
      break;
    case SDR_STYPE_COMBINATORIAL:
      *out = "combinatorial";
      break;
    case SDR_STYPE_STATE_MACHINE:
      *out = "state machine";
      break;
    default:
      *out = "unknown";
      break;
  }
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_SIGNAL_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (first_char(text)) {
    case 'b':
      *out = SDR_STYPE_BIDIR_PIN;
      break;
    case 'c':
      *out = SDR_STYPE_COMBINATORIAL;
      break;
    case 'i':
      *out = SDR_STYPE_INPUT_PIN;
      break;
    case 'm':
      *out = SDR_STYPE_MEMORY;
      break;
    case 'o':
      *out = SDR_STYPE_OUTPUT_PIN;
      break;
    case 'r':
      *out = SDR_STYPE_REGISTER;
      break;
    case 's':
      *out = SDR_STYPE_STATE_MACHINE;
      break;
    default:
      *out = SDR_STYPE_UNKNOWN;
      break;
  }
}

// ---------------------------------------------------------------- capture type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_WIRE_CAPTURE_TYPE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (value) {
    case SDR_CTYPE_NONE:
      *out = "none";
      break;
    case SDR_CTYPE_DATA:
      *out = "data";
      break;
    case SDR_CTYPE_TRIGGER:
      *out = "trigger";
      break;
    case SDR_CTYPE_BOTH:
      *out = "both";
      break;
    default:
      *out = "unknown";
      break;
  }
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_WIRE_CAPTURE_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (first_char(text)) {
    case 'd':
      *out = SDR_CTYPE_DATA;
      break;
    case 't':
      *out = SDR_CTYPE_TRIGGER;
      break;
    default:
      *out = SDR_CTYPE_BOTH;
      break;
  }
}

// ---------------------------------------------------------------- tap mode

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_WIRE_TAP_MODE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (value) {
    case SDR_MTYPE_ADVANCED_TAP:
      *out = "advanced";
      break;
    case SDR_MTYPE_PROBEONLY_TAP:
      *out = "probeonly";
      break;
    default:
      *out = "classic";
      break;
  }
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_WIRE_TAP_MODE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (first_char(text)) {
    case 'a':
      *out = SDR_MTYPE_ADVANCED_TAP;
      break;
    case 'p':
      *out = SDR_MTYPE_PROBEONLY_TAP;
      break;
    default:
      *out = SDR_MTYPE_CLASSIC_TAP;
      break;
  }
}

// ---------------------------------------------------------------- trigger condition

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_TRIGGER_CONDITION value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  *out = indexed_text(TRIGGER_CONDITION_TEXTS, value, SDR_TCOND_DONT_CARE, __LINE__);
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_TRIGGER_CONDITION* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  const int index = find_exact(TRIGGER_CONDITION_TEXTS, text);
  *out = index < 0 ? SDR_TCOND_DONT_CARE : static_cast<SDR_DATA_TRIGGER_CONDITION>(index);
}

// ---------------------------------------------------------------- trigger position

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_TRIGGER_POSITION value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  *out = indexed_text(TRIGGER_POSITION_TEXTS, value, SDR_TPOS_PRE, __LINE__);
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_TRIGGER_POSITION* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  const int index = find_exact(TRIGGER_POSITION_TEXTS, text);
  *out = index < 0 ? SDR_TPOS_PRE : static_cast<SDR_DATA_TRIGGER_POSITION>(index);
}

// ---------------------------------------------------------------- trigger type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_TRIGGER_TYPE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  *out = indexed_text(TRIGGER_TYPE_TEXTS, value, SDR_TTYPE_CIRCULAR, __LINE__);
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_TRIGGER_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  *out = first_char(text) == 's' ? SDR_TTYPE_SEGMENTED : SDR_TTYPE_CIRCULAR;
}

// ---------------------------------------------------------------- group display type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_GROUP_DISPLAY_TYPE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  *out = indexed_text(GROUP_DISPLAY_TEXTS, value, SDR_GTYPE_HEX, __LINE__);
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_GROUP_DISPLAY_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  const int index = find_exact(GROUP_DISPLAY_TEXTS, text);
  *out = index < 0 ? SDR_GTYPE_HEX : static_cast<SDR_DATA_GROUP_DISPLAY_TYPE>(index);
}

// ---------------------------------------------------------------- group linking type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_GROUP_LINKING_TYPE value, std::string* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  out->clear();
  if (value == SDR_LTYPE_NONE) {
    *out = "none";
    return;
  }
  if (value == SDR_LTYPE_ALL) {
    *out = "all";
    return;
  }
  const int flags = value;
  if (flags & SDR_LTYPE_BASIC) out->append("basic|");
  if (flags & SDR_LTYPE_WIRE_ORDER) out->append("wire_order|");
  if (flags & SDR_LTYPE_BIT_ORDER) out->append("bit_order|");
  if (flags & SDR_LTYPE_RADIX) out->append("radix|");
  if (!out->empty()) out->pop_back();
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_GROUP_LINKING_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  int flags = SDR_LTYPE_NONE;
  const char* piece = text;
  while (piece && *piece) {
    const char* bar = std::strchr(piece, '|');
    const size_t len = bar ? static_cast<size_t>(bar - piece) : std::strlen(piece);
    if (len > 0) {
      if (piece_is(piece, len, "all")) {
        flags = SDR_LTYPE_ALL;
      } else if (piece_is(piece, len, "basic")) {
        flags |= SDR_LTYPE_BASIC;
      } else if (piece_is(piece, len, "wire_order")) {
        flags |= SDR_LTYPE_WIRE_ORDER;
      } else if (piece_is(piece, len, "bit_order")) {
        flags |= SDR_LTYPE_BIT_ORDER;
      } else if (piece_is(piece, len, "radix")) {
        flags |= SDR_LTYPE_RADIX;
      }
    }
    piece = bar ? bar + 1 : nullptr;
  }
  *out = static_cast<SDR_DATA_GROUP_LINKING_TYPE>(flags);
}

// ---------------------------------------------------------------- node display type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_DATA_NODE_DISPLAY_TYPE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  // The unknown-node value has no text of its own.
  *out = indexed_text(NODE_DISPLAY_TEXTS, value, SDR_DTYPE_STANDALONE_NODE, __LINE__);
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_DATA_NODE_DISPLAY_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  switch (first_char(text)) {
    case 's':
      *out = SDR_DTYPE_STANDALONE_NODE;
      break;
    case 'e':
      *out = SDR_DTYPE_EXPAND_GROUP_NODE;
      break;
    case 'c':
      *out = SDR_DTYPE_COLLAPSE_GROUP_NODE;
      break;
    case 'g':
      *out = SDR_DTYPE_GROUP_MEMBER_NODE;
      break;
    case 'l':
      *out = SDR_DTYPE_LAST_GROUP_MEMBER_NODE;
      break;
    default:
      *out = SDR_DTYPE_UNKNOWN_NODE;
      break;
  }
}

// ---------------------------------------------------------------- RAM type

void SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(SDR_KALVOS_RAM_TYPE value, const char** out) {
  if (!ENUM_CHECK(out != NULL)) return;
  *out = indexed_text(RAM_TYPE_TEXTS, value, SDR_RAM_RAMBASE, __LINE__);
}

void SDR_DATA_GLOBAL_ENUM::convert_string_to_enum(const char* text, SDR_KALVOS_RAM_TYPE* out) {
  if (!ENUM_CHECK(out != NULL)) return;
  const int index = find_exact(RAM_TYPE_TEXTS, text);
  *out = index < 0 ? SDR_RAM_RAMBASE : static_cast<SDR_KALVOS_RAM_TYPE>(index);
}
