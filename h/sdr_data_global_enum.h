#ifndef SDR_DATA_GLOBAL_ENUM_H
#define SDR_DATA_GLOBAL_ENUM_H

// The enumerations of the data model and their stored (text) forms.

#include <string>

#include "sdr_export.h"

// Kind of design node a wire taps (single-bit values).
enum SDR_DATA_SIGNAL_TYPE {
  SDR_STYPE_UNKNOWN = 0,
  SDR_STYPE_INPUT_PIN = 4,
  SDR_STYPE_OUTPUT_PIN = 8,
  SDR_STYPE_BIDIR_PIN = 16,
  SDR_STYPE_MEMORY = 32,
  SDR_STYPE_REGISTER = 64,
  SDR_STYPE_COMBINATORIAL = 128,
  SDR_STYPE_STATE_MACHINE = 1024
};

// What a wire is used for.
enum SDR_DATA_WIRE_CAPTURE_TYPE {
  SDR_CTYPE_NONE = 0,
  SDR_CTYPE_DATA = 1,
  SDR_CTYPE_TRIGGER = 2,
  SDR_CTYPE_BOTH = 3
};

// How a wire is tapped.
enum SDR_DATA_WIRE_TAP_MODE {
  SDR_MTYPE_CLASSIC_TAP = 0,
  SDR_MTYPE_ADVANCED_TAP = 1,
  SDR_MTYPE_PROBEONLY_TAP = 2
};

// Basic trigger condition of one wire at one trigger level.
enum SDR_DATA_TRIGGER_CONDITION {
  SDR_TCOND_DISABLE = 0,
  SDR_TCOND_ACTIVE_HIGH = 1,
  SDR_TCOND_ACTIVE_LOW = 2,
  SDR_TCOND_HIGH = 3,
  SDR_TCOND_LOW = 4,
  SDR_TCOND_RISING_EDGE = 5,
  SDR_TCOND_FALLING_EDGE = 6,
  SDR_TCOND_EITHER_EDGE = 7,
  SDR_TCOND_DONT_CARE = 8
};

enum SDR_DATA_TRIGGER_POSITION {
  SDR_TPOS_PRE = 0,
  SDR_TPOS_CENTER = 1,
  SDR_TPOS_POST = 2,
  SDR_TPOS_CONTINUOUS = 3
};

// Storage mode of a trigger's acquisition.
enum SDR_DATA_TRIGGER_TYPE { SDR_TTYPE_CIRCULAR = 0, SDR_TTYPE_SEGMENTED = 1 };

// Radix or display format of a bus in a view.
enum SDR_DATA_GROUP_DISPLAY_TYPE {
  SDR_GTYPE_MNEMONICS = 0,
  SDR_GTYPE_BIN = 1,
  SDR_GTYPE_SIGNED_DEC = 2,
  SDR_GTYPE_SIGN_MAGNITUDE_DEC = 3,
  SDR_GTYPE_UNSIGNED_DEC = 4,
  SDR_GTYPE_HEX = 5,
  SDR_GTYPE_OCT = 6,
  SDR_GTYPE_ASCII = 7,
  SDR_GTYPE_BAR = 8,
  SDR_GTYPE_LINE = 9,
  SDR_GTYPE_BAR_SIGNED = 10,
  SDR_GTYPE_LINE_SIGNED = 11
};

// Flags: which aspects of a bus are linked between the two views.
enum SDR_DATA_GROUP_LINKING_TYPE {
  SDR_LTYPE_NONE = 0,
  SDR_LTYPE_BASIC = 1,
  SDR_LTYPE_WIRE_ORDER = 2,
  SDR_LTYPE_RADIX = 4,
  SDR_LTYPE_BIT_ORDER = 8,
  SDR_LTYPE_ALL = 15
};

// Display role of a row among grouped rows.
enum SDR_DATA_NODE_DISPLAY_TYPE {
  SDR_DTYPE_STANDALONE_NODE = 0,
  SDR_DTYPE_EXPAND_GROUP_NODE = 1,
  SDR_DTYPE_COLLAPSE_GROUP_NODE = 2,
  SDR_DTYPE_GROUP_MEMBER_NODE = 3,
  SDR_DTYPE_LAST_GROUP_MEMBER_NODE = 4,
  SDR_DTYPE_UNKNOWN_NODE = 5
};

// Block-memory type of the sample buffer. SDR_RAM_NO_INSTANCE is the answer
// of a query about an instance that does not exist; it is never stored.
enum SDR_KALVOS_RAM_TYPE {
  SDR_RAM_AUTO = 0,
  SDR_RAM_RAMBASE = 1,
  SDR_RAM_RAMLITE = 2,
  SDR_RAM_RAMGRAND = 3,
  SDR_RAM_NO_INSTANCE = 4
};

// Conversions between the enumerations and their stored texts. The texts
// handed out live as long as the program. Reading never fails: an
// unrecognised text yields the enumeration's fallback value.
class SDR_API SDR_DATA_GLOBAL_ENUM {
 public:
  static void convert_enum_to_string(SDR_DATA_SIGNAL_TYPE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_SIGNAL_TYPE* out);

  static void convert_enum_to_string(SDR_DATA_WIRE_CAPTURE_TYPE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_WIRE_CAPTURE_TYPE* out);

  static void convert_enum_to_string(SDR_DATA_WIRE_TAP_MODE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_WIRE_TAP_MODE* out);

  static void convert_enum_to_string(SDR_DATA_TRIGGER_CONDITION value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_TRIGGER_CONDITION* out);

  static void convert_enum_to_string(SDR_DATA_TRIGGER_POSITION value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_TRIGGER_POSITION* out);

  static void convert_enum_to_string(SDR_DATA_TRIGGER_TYPE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_TRIGGER_TYPE* out);

  static void convert_enum_to_string(SDR_DATA_GROUP_DISPLAY_TYPE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_GROUP_DISPLAY_TYPE* out);

  static void convert_enum_to_string(SDR_DATA_GROUP_LINKING_TYPE value, std::string* out);
  static void convert_string_to_enum(const char* text, SDR_DATA_GROUP_LINKING_TYPE* out);

  static void convert_enum_to_string(SDR_DATA_NODE_DISPLAY_TYPE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_DATA_NODE_DISPLAY_TYPE* out);

  static void convert_enum_to_string(SDR_KALVOS_RAM_TYPE value, const char** out);
  static void convert_string_to_enum(const char* text, SDR_KALVOS_RAM_TYPE* out);
};

#endif
