// Runs the generated scanner and parser of condition expressions over a
// text held in memory.

#include <climits>
#include <cstddef>
#include <new>

#include "sdr_internal.h"
#include "sdr_lang_grammar.h"
#include "sdr_lang_parser.h"
#include "sdr_msgs.h"

#define YYSTYPE SDR_COND_YYSTYPE
#include "sdr_lang_scanner.h"

int sdr_cond_yyparse(yyscan_t scanner, SDR_COND_ACTIONS* actions, const char* trigger_name, int level);

namespace {

static_assert(SDR_COND_MAX_LENGTH < size_t(INT_MAX) - 2, "the scanner takes an int length");

// The scanner and its buffers, destroyed together.
class SDR_COND_SCANNER {
 public:
  SDR_COND_SCANNER() {
    if (sdr_cond_yylex_init_extra(&m_state, &m_scanner) != 0) throw std::bad_alloc();
  }
  ~SDR_COND_SCANNER() { sdr_cond_yylex_destroy(m_scanner); }
  SDR_COND_SCANNER(const SDR_COND_SCANNER&) = delete;
  SDR_COND_SCANNER& operator=(const SDR_COND_SCANNER&) = delete;

  // Scans a copy of length bytes of text (at most INT_MAX - 2).
  void scan(const char* text, size_t length) {
    sdr_cond_yy_scan_bytes(text, static_cast<int>(length), m_scanner);
  }
  yyscan_t get() const { return m_scanner; }

 private:
  SDR_COND_SCAN_STATE m_state;
  yyscan_t m_scanner = nullptr;
};

}  // namespace

void sdr_parse_condition_expression(const char* text, size_t length, SDR_COND_ACTIONS* actions,
                                    const char* trigger_name, int level) {
  if (!SDR_CHECK(actions != NULL)) return;
  if (!trigger_name) trigger_name = "";
  if (!text || length == 0) return;
  if (length > SDR_COND_MAX_LENGTH) {
    SDR_MSGS::post(SDR_MSGS::wsdr_cond_syntax(trigger_name, level, ""));
    return;
  }
  try {
    SDR_COND_SCANNER scanner;
    scanner.scan(text, length);
    sdr_cond_yyparse(scanner.get(), actions, trigger_name, level);
  } catch (...) {
    SDR_CHECK(!"condition expression parsed");
  }
}
