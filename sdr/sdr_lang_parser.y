/* Parser of trigger-level condition expressions. Each term is handed to the
 * actions object as soon as it is reduced; the first syntax error posts
 * WSDR_COND_SYNTAX and ends the parse (there are no error-recovery rules),
 * so the terms before it keep their effect. */

%code top {
#include <cstdint>
#include <memory>
#include <string>
}

%code requires {
#include <cstddef>
#include <string>

#include "sdr_data_global_enum.h"
#include "sdr_lang_parser.h"

#ifndef YY_TYPEDEF_YY_SCANNER_T
#define YY_TYPEDEF_YY_SCANNER_T
typedef void* yyscan_t;
#endif

/* What the scanner keeps between two tokens. */
struct SDR_COND_SCAN_STATE {
  std::string quoted;             /* the quoted name being read */
  const char* token = nullptr;    /* the text of the last token returned, */
  const char* token_end = nullptr; /* inside the scanner's buffer */
};
}

%code provides {
int sdr_cond_yylex(SDR_COND_YYSTYPE* value, yyscan_t scanner);
SDR_COND_SCAN_STATE* sdr_cond_yyget_extra(yyscan_t scanner);
}

%code {
#include "sdr_msgs.h"

/* The stacks start with room for 200 entries and double up to 20000. */
#define YYINITDEPTH 200
#define YYMAXDEPTH 20000

static void sdr_cond_yyerror(yyscan_t scanner, SDR_COND_ACTIONS* actions, const char* trigger_name, int level,
                             const char* message);
static long sdr_cond_hex_value(const std::string& digits);
static long sdr_cond_oct_value(const std::string& digits);
static long sdr_cond_bin_value(const std::string& digits);
}

%define api.pure full
%define api.prefix {sdr_cond_yy}
%define api.token.prefix {TOK_}
%lex-param {yyscan_t scanner}
%parse-param {yyscan_t scanner} {SDR_COND_ACTIONS* actions} {const char* trigger_name} {int level}
%expect 0

%union {
  std::string* str;
  long num;
  SDR_DATA_TRIGGER_CONDITION cond;
}

%token DISABLE 258
%token ACTIVE 259
%token HIGH 260
%token LOW 261
%token AND 262
%token EQ 263
%token RISING 264
%token FALLING 265
%token EITHER 266
%token EDGE 267
%token RESERVED 268
%token DONT_CARE 269
%token <str> NAME 270
%token <str> HEXNUM 271
%token <str> OCTNUM 272
%token <str> BINNUM 273
%token <num> DECNUM 274

%type <str> name symbol
%type <num> number
%type <cond> condition

%destructor { delete $$; } <str>

%start input

%%

input
  : %empty
  | list
  ;

list
  : term
  | list AND term
  ;

term
  : name EQ condition {
      std::unique_ptr<std::string> name($1);
      actions->apply_condition(name->c_str(), $3);
    }
  | name EQ symbol {
      std::unique_ptr<std::string> name($1);
      std::unique_ptr<std::string> symbol($3);
      actions->apply_symbol(name->c_str(), symbol->c_str());
    }
  | name EQ number {
      std::unique_ptr<std::string> name($1);
      actions->apply_value(name->c_str(), $3);
    }
  ;

condition
  : HIGH          { $$ = SDR_TCOND_HIGH; }
  | LOW           { $$ = SDR_TCOND_LOW; }
  | RISING EDGE   { $$ = SDR_TCOND_RISING_EDGE; }
  | FALLING EDGE  { $$ = SDR_TCOND_FALLING_EDGE; }
  | EITHER EDGE   { $$ = SDR_TCOND_EITHER_EDGE; }
  | DONT_CARE     { $$ = SDR_TCOND_DONT_CARE; }
  ;

name
  : NAME
  ;

symbol
  : NAME
  ;

number
  : DECNUM
  | HEXNUM  { std::unique_ptr<std::string> digits($1); $$ = sdr_cond_hex_value(*digits); }
  | OCTNUM  { std::unique_ptr<std::string> digits($1); $$ = sdr_cond_oct_value(*digits); }
  | BINNUM  { std::unique_ptr<std::string> digits($1); $$ = sdr_cond_bin_value(*digits); }
  ;

%%

/* Both "syntax error" and the stack limit end here; the library's own text is
 * not shown. The message names the token at which the parse stopped. */
static void sdr_cond_yyerror(yyscan_t scanner, SDR_COND_ACTIONS* actions, const char* trigger_name, int level,
                             const char* message) {
  static_cast<void>(actions);
  static_cast<void>(message);
  const SDR_COND_SCAN_STATE* state = sdr_cond_yyget_extra(scanner);
  std::string token;
  if (state && state->token && state->token_end > state->token) {
    token.assign(state->token, static_cast<size_t>(state->token_end - state->token));
  }
  SDR_MSGS::post(SDR_MSGS::wsdr_cond_syntax(trigger_name, level, token.c_str()));
}

/* Each conversion keeps the digits that fit 32 bits and builds the value
 * unsigned, then reads it as a signed 32-bit number. */
static long sdr_cond_signed(uint32_t bits) { return static_cast<long>(static_cast<int32_t>(bits)); }

static long sdr_cond_hex_value(const std::string& digits) {
  size_t first = digits.size() > 8 ? digits.size() - 8 : 0;
  uint32_t value = 0;
  for (size_t i = first; i < digits.size(); ++i) {
    char c = digits[i];
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    }
    value = (value << 4) | digit;
  }
  return sdr_cond_signed(value);
}

static long sdr_cond_oct_value(const std::string& digits) {
  size_t first = digits.size() >= 12 ? digits.size() - 11 : 0;
  uint32_t value = 0;
  for (size_t i = first; i < digits.size(); ++i) {
    char c = digits[i];
    uint32_t digit = (c >= '0' && c <= '7') ? static_cast<uint32_t>(c - '0') : 0;
    value = (value << 3) | digit;
  }
  return sdr_cond_signed(value);
}

static long sdr_cond_bin_value(const std::string& digits) {
  size_t first = digits.size() > 32 ? digits.size() - 32 : 0;
  uint32_t value = 0;
  for (size_t i = first; i < digits.size(); ++i) value = (value << 1) | (digits[i] == '1' ? 1u : 0u);
  return sdr_cond_signed(value);
}
