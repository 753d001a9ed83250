#include <gtest/gtest.h>

#include <string>

#include "msg_service.h"
#include "sdr_data_global_enum.h"

namespace {

using E = SDR_DATA_GLOBAL_ENUM;

template <typename T>
std::string write(T value) {
  const char* text = nullptr;
  E::convert_enum_to_string(value, &text);
  return text ? text : "<null>";
}

template <typename T>
T read(const char* text) {
  T value = static_cast<T>(-1);
  E::convert_string_to_enum(text, &value);
  return value;
}

std::string write_link(int value) {
  std::string text = "stale";
  E::convert_enum_to_string(static_cast<SDR_DATA_GROUP_LINKING_TYPE>(value), &text);
  return text;
}

int read_link(const char* text) {
  return static_cast<int>(read<SDR_DATA_GROUP_LINKING_TYPE>(text));
}

// Writes every value of [first, end) and reads the text back.
template <typename T>
void expect_round_trip(int end, int first = 0) {
  for (int v = first; v < end; ++v) {
    const std::string text = write(static_cast<T>(v));
    EXPECT_EQ(static_cast<T>(v), read<T>(text.c_str())) << text;
  }
}

class GlobalEnumReports : public ::testing::Test {
 protected:
  void expect_one_report(const char* expression) {
    ASSERT_EQ(1, MSG_INTERNAL_ERROR::get_num_reports());
    EXPECT_STREQ(expression, MSG_INTERNAL_ERROR::get_expression_at(0));
    EXPECT_STREQ("sdr_data_global_enum.cpp", MSG_INTERNAL_ERROR::get_file_at(0));
    MSG_INTERNAL_ERROR::clear_reports();
  }
};

}  // namespace

TEST(GlobalEnumTables, RoundTripsOfEveryValue) {
  for (int v : {4, 8, 16, 32, 64, 128, 1024}) {
    const std::string text = write(static_cast<SDR_DATA_SIGNAL_TYPE>(v));
    EXPECT_EQ(static_cast<SDR_DATA_SIGNAL_TYPE>(v), read<SDR_DATA_SIGNAL_TYPE>(text.c_str())) << text;
  }
  expect_round_trip<SDR_DATA_WIRE_CAPTURE_TYPE>(4, 1);  // 0 "none" reads back as 3
  expect_round_trip<SDR_DATA_WIRE_TAP_MODE>(3);
  expect_round_trip<SDR_DATA_TRIGGER_CONDITION>(9);
  expect_round_trip<SDR_DATA_TRIGGER_POSITION>(4);
  expect_round_trip<SDR_DATA_TRIGGER_TYPE>(2);
  expect_round_trip<SDR_DATA_GROUP_DISPLAY_TYPE>(12);
  expect_round_trip<SDR_DATA_NODE_DISPLAY_TYPE>(5);
  expect_round_trip<SDR_KALVOS_RAM_TYPE>(4);
  for (int v = 0; v <= 15; ++v) {
    const std::string text = write_link(v);
    EXPECT_EQ(v, read_link(text.c_str())) << text;
  }
}

// Texts whole-file comparisons already write from the enumerations (the
// demo's, the setters', a new trigger's) are not repeated here.
TEST(GlobalEnumTables, StoredTexts) {
  EXPECT_EQ("state machine", write(SDR_STYPE_STATE_MACHINE));
  EXPECT_EQ("probeonly", write(SDR_MTYPE_PROBEONLY_TAP));
  EXPECT_EQ("segmented", write(SDR_TTYPE_SEGMENTED));
  EXPECT_EQ("sign_magnitude_dec", write(SDR_GTYPE_SIGN_MAGNITUDE_DEC));
  EXPECT_EQ("last_group_member", write(SDR_DTYPE_LAST_GROUP_MEMBER_NODE));
}

TEST(GlobalEnumTables, FallbackTextsOfOpenEnumerations) {
  for (int v : {0, 1, 2, 2048, -1}) EXPECT_EQ("unknown", write(static_cast<SDR_DATA_SIGNAL_TYPE>(v)));
  EXPECT_EQ("both", write(SDR_CTYPE_BOTH));
  EXPECT_EQ("unknown", write(static_cast<SDR_DATA_WIRE_CAPTURE_TYPE>(4)));
  EXPECT_EQ("classic", write(static_cast<SDR_DATA_WIRE_TAP_MODE>(7)));
}

TEST(GlobalEnumReading, FirstCharacterRules) {
  EXPECT_EQ(SDR_STYPE_UNKNOWN, read<SDR_DATA_SIGNAL_TYPE>("unknown"));
  EXPECT_EQ(SDR_STYPE_REGISTER, read<SDR_DATA_SIGNAL_TYPE>("rubbish"));
  EXPECT_EQ(SDR_STYPE_UNKNOWN, read<SDR_DATA_SIGNAL_TYPE>("Register"));
  EXPECT_EQ(SDR_CTYPE_BOTH, read<SDR_DATA_WIRE_CAPTURE_TYPE>("none"));
  EXPECT_EQ(SDR_CTYPE_DATA, read<SDR_DATA_WIRE_CAPTURE_TYPE>("d"));
  EXPECT_EQ(SDR_CTYPE_TRIGGER, read<SDR_DATA_WIRE_CAPTURE_TYPE>("tx"));
  EXPECT_EQ(SDR_MTYPE_CLASSIC_TAP, read<SDR_DATA_WIRE_TAP_MODE>("zzz"));
  EXPECT_EQ(SDR_MTYPE_PROBEONLY_TAP, read<SDR_DATA_WIRE_TAP_MODE>("p"));
  EXPECT_EQ(SDR_TTYPE_SEGMENTED, read<SDR_DATA_TRIGGER_TYPE>("s"));
  EXPECT_EQ(SDR_TTYPE_CIRCULAR, read<SDR_DATA_TRIGGER_TYPE>("Segmented"));
  EXPECT_EQ(SDR_DTYPE_EXPAND_GROUP_NODE, read<SDR_DATA_NODE_DISPLAY_TYPE>("expanded"));
  EXPECT_EQ(SDR_DTYPE_UNKNOWN_NODE, read<SDR_DATA_NODE_DISPLAY_TYPE>("xyz"));
  EXPECT_EQ(SDR_DTYPE_LAST_GROUP_MEMBER_NODE, read<SDR_DATA_NODE_DISPLAY_TYPE>("l"));
}

TEST(GlobalEnumReading, WholeTextRulesAreExact) {
  EXPECT_EQ(SDR_TCOND_DONT_CARE, read<SDR_DATA_TRIGGER_CONDITION>("Rising Edge"));
  EXPECT_EQ(SDR_TCOND_DONT_CARE, read<SDR_DATA_TRIGGER_CONDITION>("rising edge "));
  EXPECT_EQ(SDR_TCOND_DONT_CARE, read<SDR_DATA_TRIGGER_CONDITION>("rising"));
  EXPECT_EQ(SDR_TCOND_HIGH, read<SDR_DATA_TRIGGER_CONDITION>("high"));
  EXPECT_EQ(SDR_TPOS_PRE, read<SDR_DATA_TRIGGER_POSITION>("centre"));
  EXPECT_EQ(SDR_TPOS_POST, read<SDR_DATA_TRIGGER_POSITION>("post"));
  EXPECT_EQ(SDR_GTYPE_HEX, read<SDR_DATA_GROUP_DISPLAY_TYPE>("decimal"));
  EXPECT_EQ(SDR_GTYPE_HEX, read<SDR_DATA_GROUP_DISPLAY_TYPE>("bar_"));
  EXPECT_EQ(SDR_GTYPE_BAR_SIGNED, read<SDR_DATA_GROUP_DISPLAY_TYPE>("bar_signed"));
  EXPECT_EQ(SDR_RAM_RAMBASE, read<SDR_KALVOS_RAM_TYPE>("auto"));
  EXPECT_EQ(SDR_RAM_AUTO, read<SDR_KALVOS_RAM_TYPE>("AUTO"));
}

TEST(GlobalEnumReading, NullAndEmptyTextsGiveFallbacks) {
  for (const char* text : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(SDR_STYPE_UNKNOWN, read<SDR_DATA_SIGNAL_TYPE>(text));
    EXPECT_EQ(SDR_CTYPE_BOTH, read<SDR_DATA_WIRE_CAPTURE_TYPE>(text));
    EXPECT_EQ(SDR_MTYPE_CLASSIC_TAP, read<SDR_DATA_WIRE_TAP_MODE>(text));
    EXPECT_EQ(SDR_TCOND_DONT_CARE, read<SDR_DATA_TRIGGER_CONDITION>(text));
    EXPECT_EQ(SDR_TPOS_PRE, read<SDR_DATA_TRIGGER_POSITION>(text));
    EXPECT_EQ(SDR_TTYPE_CIRCULAR, read<SDR_DATA_TRIGGER_TYPE>(text));
    EXPECT_EQ(SDR_GTYPE_HEX, read<SDR_DATA_GROUP_DISPLAY_TYPE>(text));
    EXPECT_EQ(SDR_DTYPE_UNKNOWN_NODE, read<SDR_DATA_NODE_DISPLAY_TYPE>(text));
    EXPECT_EQ(SDR_RAM_RAMBASE, read<SDR_KALVOS_RAM_TYPE>(text));
    EXPECT_EQ(SDR_LTYPE_NONE, read_link(text));
  }
}

TEST(GlobalEnumLinking, WritingOrderAndSpecialValues) {
  EXPECT_EQ("none", write_link(SDR_LTYPE_NONE));
  EXPECT_EQ("all", write_link(SDR_LTYPE_ALL));
  EXPECT_EQ("basic", write_link(SDR_LTYPE_BASIC));
  EXPECT_EQ("wire_order", write_link(SDR_LTYPE_WIRE_ORDER));
  EXPECT_EQ("bit_order", write_link(SDR_LTYPE_BIT_ORDER));
  EXPECT_EQ("wire_order|radix", write_link(SDR_LTYPE_WIRE_ORDER | SDR_LTYPE_RADIX));
  EXPECT_EQ("basic|bit_order", write_link(SDR_LTYPE_BASIC | SDR_LTYPE_BIT_ORDER));
  EXPECT_EQ("basic|wire_order|bit_order",
            write_link(SDR_LTYPE_BASIC | SDR_LTYPE_WIRE_ORDER | SDR_LTYPE_BIT_ORDER));
  EXPECT_EQ("", write_link(16));  // no known flag: output cleared
}

TEST(GlobalEnumLinking, ReadingPieces) {
  EXPECT_EQ(SDR_LTYPE_BASIC | SDR_LTYPE_RADIX, read_link("radix|basic"));
  EXPECT_EQ("basic|radix", write_link(read_link("radix|basic")));
  EXPECT_EQ(SDR_LTYPE_ALL, read_link("basic|all"));
  EXPECT_EQ("all", write_link(read_link("basic|all")));
  EXPECT_EQ(SDR_LTYPE_ALL, read_link("all|radix"));
  EXPECT_EQ(SDR_LTYPE_NONE, read_link("|||"));
  EXPECT_EQ(SDR_LTYPE_NONE, read_link("none"));
  EXPECT_EQ(SDR_LTYPE_WIRE_ORDER | SDR_LTYPE_BIT_ORDER, read_link("|wire_order||bit_order|"));
  EXPECT_EQ(SDR_LTYPE_RADIX, read_link("Basic|radix|radi|radix_"));
  EXPECT_EQ(SDR_LTYPE_BASIC, read_link("basic|basic"));
}

TEST(GlobalEnumLinking, LongTextIsAccepted) {
  std::string text;
  while (text.size() < 5000) text += "junk_piece|";
  text += "bit_order";
  EXPECT_EQ(SDR_LTYPE_BIT_ORDER, read_link(text.c_str()));
  std::string pieces(5000, 'x');
  EXPECT_EQ(SDR_LTYPE_NONE, read_link(pieces.c_str()));
}

TEST_F(GlobalEnumReports, OutOfRangeValuesWriteFallbackTexts) {
  EXPECT_EQ("dont_care", write(static_cast<SDR_DATA_TRIGGER_CONDITION>(9)));
  expect_one_report("value in range");
  EXPECT_EQ("pre", write(static_cast<SDR_DATA_TRIGGER_POSITION>(-1)));
  expect_one_report("value in range");
  EXPECT_EQ("circular", write(static_cast<SDR_DATA_TRIGGER_TYPE>(2)));
  expect_one_report("value in range");
  EXPECT_EQ("hex", write(static_cast<SDR_DATA_GROUP_DISPLAY_TYPE>(12)));
  expect_one_report("value in range");
  EXPECT_EQ("standalone", write(SDR_DTYPE_UNKNOWN_NODE));
  expect_one_report("value in range");
  EXPECT_EQ("RAMBASE", write(static_cast<SDR_KALVOS_RAM_TYPE>(100000)));
  expect_one_report("value in range");
}

TEST_F(GlobalEnumReports, InRangeValuesReportNothing) {
  write(SDR_TCOND_DISABLE);
  write(SDR_GTYPE_LINE_SIGNED);
  write(static_cast<SDR_DATA_SIGNAL_TYPE>(3));
  read<SDR_DATA_GROUP_DISPLAY_TYPE>("decimal");
  read_link("||bogus");
  EXPECT_EQ(0, MSG_INTERNAL_ERROR::get_num_reports());
}

TEST_F(GlobalEnumReports, NullOutPointerIsReportedAndIgnored) {
  E::convert_enum_to_string(SDR_TCOND_LOW, static_cast<const char**>(nullptr));
  expect_one_report("out != NULL");
  E::convert_enum_to_string(SDR_LTYPE_RADIX, static_cast<std::string*>(nullptr));
  expect_one_report("out != NULL");
  E::convert_string_to_enum("basic", static_cast<SDR_DATA_GROUP_LINKING_TYPE*>(nullptr));
  expect_one_report("out != NULL");
  E::convert_string_to_enum("hex", static_cast<SDR_DATA_GROUP_DISPLAY_TYPE*>(nullptr));
  expect_one_report("out != NULL");
}
