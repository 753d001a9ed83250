// Fuzz target: trigger-level condition expressions ('a' == rising edge &&
// 'cnt' == 0x5 && 'cnt' == states.BUSY ...), on their own and as the text of
// a trigger level read by a trigger of a fixed signal set.
//
// For each input:
//  1. The bytes (NUL and all) go to sdr_parse_condition_expression with
//     actions that record the terms. The recorded terms are written back as
//     a canonical text ('name' == condition | 'symbol' | decimal value,
//     joined by " && "), which must parse without a syntax error to the
//     same terms.
//  2. The bytes, taken as Latin-1 characters up to the first NUL, become the
//     text of the only "level" of a "trigger" element read by SDR_DATA_TRIGGER
//     over the signal set built at start-up. The conditions it ends up with
//     must be those that a model of the trigger's rules derives from the
//     terms (a wire by name or alias; every wire of a bus; a value's bits
//     from the least significant wire in the bus's order; a symbol of the
//     bus's own table or of "table.symbol"). The level's condition text,
//     read into a second trigger, must give the same conditions and the same
//     text again.
//
// Failures end the process with abort() after a line on stderr starting
// with "fuzz_condition_parser: ".

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "fuzz_support.h"
#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_lang_parser.h"

using namespace xercesc;
using sdr_fuzz::check_internal_errors;
using sdr_fuzz::fail;

namespace {

// ------------------------------------------------------------------ terms

struct TERM {
  enum KIND { CONDITION, SYMBOL, VALUE };
  TERM(KIND k, const char* n) : kind(k), name(n) {}

  KIND kind;
  std::string name;
  SDR_DATA_TRIGGER_CONDITION condition = SDR_TCOND_DONT_CARE;
  std::string symbol;
  long value = 0;

  bool operator==(const TERM& o) const {
    return kind == o.kind && name == o.name && condition == o.condition && symbol == o.symbol &&
           value == o.value;
  }
};

class RECORDER : public SDR_COND_ACTIONS {
 public:
  std::vector<TERM> terms;

  void apply_condition(const char* name, SDR_DATA_TRIGGER_CONDITION condition) override {
    if (!name) fail("apply_condition got a null name");
    if (condition < SDR_TCOND_HIGH || condition > SDR_TCOND_DONT_CARE)
      fail("apply_condition got a condition the grammar cannot produce", std::to_string(condition));
    TERM t(TERM::CONDITION, name);
    t.condition = condition;
    terms.push_back(t);
  }
  void apply_symbol(const char* name, const char* symbol) override {
    if (!name || !symbol) fail("apply_symbol got a null text");
    TERM t(TERM::SYMBOL, name);
    t.symbol = symbol;
    terms.push_back(t);
  }
  void apply_value(const char* name, long value) override {
    if (!name) fail("apply_value got a null name");
    if (value < INT32_MIN || value > INT32_MAX)
      fail("apply_value got a value beyond 32 bits", std::to_string(value));
    TERM t(TERM::VALUE, name);
    t.value = value;
    terms.push_back(t);
  }
};

const char* condition_word(SDR_DATA_TRIGGER_CONDITION c) {
  switch (c) {
    case SDR_TCOND_HIGH:
      return "high";
    case SDR_TCOND_LOW:
      return "low";
    case SDR_TCOND_RISING_EDGE:
      return "rising edge";
    case SDR_TCOND_FALLING_EDGE:
      return "falling edge";
    case SDR_TCOND_EITHER_EDGE:
      return "either edge";
    default:
      return "dont_care";
  }
}

void append_quoted(const std::string& name, std::string* out) {
  out->push_back('\'');
  for (char c : name) {
    if (c == '\'' || c == '\\') out->push_back('\\');
    out->push_back(c);
  }
  out->push_back('\'');
}

std::string canonical_text(const std::vector<TERM>& terms) {
  std::string text;
  for (const TERM& t : terms) {
    if (!text.empty()) text += " && ";
    append_quoted(t.name, &text);
    text += " == ";
    if (t.kind == TERM::CONDITION) {
      text += condition_word(t.condition);
    } else if (t.kind == TERM::SYMBOL) {
      append_quoted(t.symbol, &text);  // a quoted text is a NAME too
    } else {
      text += std::to_string(t.value);
    }
  }
  return text;
}

std::string describe(const std::vector<TERM>& terms) {
  return terms.empty() ? "(no term)" : canonical_text(terms);
}

bool syntax_error_posted() {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  for (int i = 0; i < report->get_num_posted(); ++i)
    if (std::string(report->get_posted_at(i)->get_id()) == "WSDR_COND_SYNTAX") return true;
  return false;
}

// -------------------------------------------------------------- the setup

// The signal set every input is read against. Trigger wires: a (alias
// "start"), b, it's, back\slash, "sp ace", high, d0..d3, e0, e1; a data-only
// wire "dataonly". Setup view: nets a and b; bus "cnt" (alias "counter",
// most significant bit first: d3 d2 d1 d0, own table "states"); bus "pair"
// (least significant bit first: e0 e1, no table); bus "ghost" whose rows
// name no wire. Tables: "states" (width 4) and "ops" (width 2).
struct SETUP {
  std::unique_ptr<SDR_DATA_SESSION> session;
  SDR_DATA_SIGNAL_SET* set = nullptr;
  int width = 0;
  // Trigger wire indexes of each bus, least significant bit first.
  std::vector<int> cnt_bits;
  std::vector<int> pair_bits;
};

SETUP g_setup;

void add_wire(SDR_DATA_SIGNAL_SET* set, const char* name, const char* alias,
              SDR_DATA_WIRE_CAPTURE_TYPE type = SDR_CTYPE_BOTH) {
  SDR_DATA_SIGNAL_WIRE* wire = set->create_wire(name, type, SDR_MTYPE_CLASSIC_TAP, true, alias);
  if (!wire || !set->append(wire, true)) fail("cannot add a wire to the signal set", name);
}

using NODE = std::unique_ptr<SDR_DATA_SIGNAL_VIEW_NODE>;

NODE add_bus(SDR_DATA_SIGNAL_VIEW* view, const char* name, const std::vector<const char*>& rows) {
  NODE bus(view->create_bus_node(name));
  view->append_node(bus.get());
  for (const char* row : rows) {
    NODE net(view->create_net_node(row));
    if (!bus->append_child(net.get())) fail("cannot add a row to a bus", row);
  }
  return bus;
}

int trigger_index(const char* name) {
  SDR_DATA_SIGNAL_WIRE* wire = g_setup.set->get_wire(name);
  if (!wire || wire->get_trigger_wire_index() < 0) fail("the setup lacks a trigger wire", name);
  return wire->get_trigger_wire_index();
}

void build_setup() {
  g_setup.session.reset(new SDR_DATA_SESSION());
  SDR_DATA_INSTANCE* instance = g_setup.session->create_trazio_instance("ela0");
  if (!instance) fail("cannot create the instance");
  SDR_DATA_SIGNAL_SET* set = instance->create_signal_set("setup", false);
  if (!set || !set->get_setup_view()) fail("cannot create the signal set");
  g_setup.set = set;

  add_wire(set, "a", "start");
  add_wire(set, "b", nullptr);
  add_wire(set, "it's", nullptr);
  add_wire(set, "back\\slash", nullptr);
  add_wire(set, "sp ace", nullptr);
  add_wire(set, "high", nullptr);
  for (const char* name : {"d0", "d1", "d2", "d3", "e0", "e1"}) add_wire(set, name, nullptr);
  add_wire(set, "dataonly", nullptr, SDR_CTYPE_DATA);
  g_setup.width = set->get_trigger_wire_width();

  SDR_DATA_MNEMONICS* mnemonics = g_setup.session->get_mnemonics();
  SDR_DATA_MNEMONICS_TABLE* states = mnemonics->create_table("states", 4);
  SDR_DATA_MNEMONICS_TABLE* ops = mnemonics->create_table("ops", 2);
  if (!states || !ops) fail("cannot create the mnemonic tables");
  states->add_entry("IDLE", "0000");
  states->add_entry("BUSY", "1R0X");
  states->add_entry("A.B", "FEHL");
  states->add_entry("SHORT", "1");
  ops->add_entry("NOP", "10");
  ops->add_entry("JMP", "eX");

  SDR_DATA_SIGNAL_VIEW* view = set->get_setup_view();
  for (const char* name : {"a", "b"}) {
    NODE net(view->create_net_node(name));
    view->append_node(net.get());
  }
  NODE cnt = add_bus(view, "cnt", {"d3", "d2", "d1", "d0"});
  cnt->set_lsb_to_msb(false);
  cnt->set_alias("counter");
  cnt->set_mnemonics_table("states");
  NODE pair = add_bus(view, "pair", {"e0", "e1"});
  pair->set_lsb_to_msb(true);
  add_bus(view, "ghost", {"nowire0", "nowire1"});

  for (const char* name : {"d0", "d1", "d2", "d3"}) g_setup.cnt_bits.push_back(trigger_index(name));
  for (const char* name : {"e0", "e1"}) g_setup.pair_bits.push_back(trigger_index(name));
  check_internal_errors("building the signal set");
  sdr_fuzz::clear_records();
}

// ------------------------------------------------------------ the model

// The wires of a bus named name (or aliased), least significant first;
// null when there is no such bus. "ghost" is a bus without wires.
const std::vector<int>* bus_bits(const std::string& name) {
  static const std::vector<int> none;
  if (name == "cnt" || name == "counter") return &g_setup.cnt_bits;
  if (name == "pair") return &g_setup.pair_bits;
  if (name == "ghost") return &none;
  return nullptr;
}

// The conditions each symbol of the tables built above sets, written out
// by hand from their values (one character per wire, least significant
// first: 0/L low, 1/H high, R rising, F falling, E either edge, in either
// case; anything else, and wires past the value, don't care). Null for a
// symbol the tables do not have.
const std::vector<SDR_DATA_TRIGGER_CONDITION>* symbol_conditions(const std::string& table,
                                                                 const std::string& symbol) {
  const SDR_DATA_TRIGGER_CONDITION L = SDR_TCOND_LOW, H = SDR_TCOND_HIGH, R = SDR_TCOND_RISING_EDGE,
                                   F = SDR_TCOND_FALLING_EDGE, E = SDR_TCOND_EITHER_EDGE,
                                   X = SDR_TCOND_DONT_CARE;
  static const struct {
    const char* table;
    const char* symbol;
    std::vector<SDR_DATA_TRIGGER_CONDITION> conditions;
  } entries[] = {{"states", "IDLE", {L, L, L, L}}, {"states", "BUSY", {H, R, L, X}},
                 {"states", "A.B", {F, E, H, L}},  {"states", "SHORT", {H}},
                 {"ops", "NOP", {H, L}},           {"ops", "JMP", {E, X}}};
  for (const auto& e : entries)
    if (table == e.table && symbol == e.symbol) return &e.conditions;
  return nullptr;
}

std::vector<SDR_DATA_TRIGGER_CONDITION> model_conditions(const std::vector<TERM>& terms) {
  std::vector<SDR_DATA_TRIGGER_CONDITION> c(static_cast<size_t>(g_setup.width), SDR_TCOND_DONT_CARE);
  for (const TERM& t : terms) {
    const std::vector<int>* bits = bus_bits(t.name);
    if (t.kind == TERM::CONDITION) {
      if (SDR_DATA_SIGNAL_WIRE* wire = g_setup.set->get_wire(t.name.c_str())) {
        if (wire->get_trigger_wire_index() >= 0)
          c[static_cast<size_t>(wire->get_trigger_wire_index())] = t.condition;
      } else if (bits) {
        for (int i : *bits) c[static_cast<size_t>(i)] = t.condition;
      }
    } else if (t.kind == TERM::VALUE) {
      if (!bits) continue;
      long value = t.value;
      for (int i : *bits) {
        c[static_cast<size_t>(i)] = (value & 1) ? SDR_TCOND_HIGH : SDR_TCOND_LOW;
        value >>= 1;
      }
    } else {
      if (!bits) continue;
      std::string table, symbol = t.symbol;
      size_t dot = t.symbol.find('.');
      if (dot != std::string::npos) {
        table = t.symbol.substr(0, dot);
        symbol = t.symbol.substr(dot + 1);
      } else if (bits == &g_setup.cnt_bits) {
        table = "states";
      } else {
        continue;  // the bus has no table of its own
      }
      const std::vector<SDR_DATA_TRIGGER_CONDITION>* wanted = symbol_conditions(table, symbol);
      if (!wanted) continue;
      size_t next = 0;
      for (int i : *bits)
        c[static_cast<size_t>(i)] = next < wanted->size() ? (*wanted)[next++] : SDR_TCOND_DONT_CARE;
    }
  }
  return c;
}

// ------------------------------------------------------------- triggers

// A scratch document per input keeps the setup's document from growing.
struct SCRATCH_DOC {
  DOMDocument* doc = nullptr;
  SCRATCH_DOC() {
    static const XMLCh ls[] = {'L', 'S', 0};
    static const XMLCh root[] = {'s', 'e', 's', 's', 'i', 'o', 'n', 0};
    doc = DOMImplementationRegistry::getDOMImplementation(ls)->createDocument(nullptr, root, nullptr);
  }
  ~SCRATCH_DOC() { doc->release(); }
};

// Reads a trigger whose only level has the given text (UTF-16 code units).
std::unique_ptr<SDR_DATA_TRIGGER> read_trigger(DOMDocument* doc, const std::u16string& text) {
  static const XMLCh trigger_tag[] = {'t', 'r', 'i', 'g', 'g', 'e', 'r', 0};
  static const XMLCh events_tag[] = {'e', 'v', 'e', 'n', 't', 's', 0};
  static const XMLCh level_tag[] = {'l', 'e', 'v', 'e', 'l', 0};
  static const XMLCh name_attr[] = {'n', 'a', 'm', 'e', 0};
  static const XMLCh name_value[] = {'t', 0};
  DOMElement* trigger = doc->createElement(trigger_tag);
  trigger->setAttribute(name_attr, name_value);
  DOMElement* events = doc->createElement(events_tag);
  DOMElement* level = doc->createElement(level_tag);
  level->appendChild(doc->createTextNode(text.c_str()));
  events->appendChild(level);
  trigger->appendChild(events);
  doc->getDocumentElement()->appendChild(trigger);
  return std::unique_ptr<SDR_DATA_TRIGGER>(new SDR_DATA_TRIGGER(doc, trigger, g_setup.set));
}

std::vector<SDR_DATA_TRIGGER_CONDITION> conditions_of(const SDR_DATA_TRIGGER& trigger) {
  std::vector<SDR_DATA_TRIGGER_CONDITION> c;
  for (int i = 0; i < g_setup.width; ++i) c.push_back(trigger.get_condition(0, i));
  return c;
}

std::string describe(const std::vector<SDR_DATA_TRIGGER_CONDITION>& c) {
  std::string text;
  for (size_t i = 0; i < c.size(); ++i) {
    if (c[i] == SDR_TCOND_DONT_CARE) continue;
    const char* alias = g_setup.set->get_trigger_wire_alias_at(static_cast<int>(i));
    text += std::string(alias ? alias : "?") + "=" + condition_word(c[i]) + " ";
  }
  return text.empty() ? "(all dont_care)" : text;
}

std::u16string to_u16(const std::string& utf8_ascii) {
  return std::u16string(utf8_ascii.begin(), utf8_ascii.end());
}

// --------------------------------------------------------------- one input

void check_parser(const char* data, size_t size) {
  RECORDER first;
  sdr_parse_condition_expression(data, size, &first, "fuzz", 0);
  check_internal_errors("parsing the input");
  sdr_fuzz::clear_records();

  std::string canonical = canonical_text(first.terms);
  RECORDER second;
  sdr_parse_condition_expression(canonical.data(), canonical.size(), &second, "fuzz", 0);
  check_internal_errors("parsing the canonical text");
  if (syntax_error_posted() || !(second.terms == first.terms)) {
    sdr_fuzz::print_text("input", std::string(data, size));
    sdr_fuzz::print_text("canonical text", canonical);
    fail("the canonical text of the terms does not parse to the same terms",
         "input: " + describe(first.terms) + " | canonical: " + describe(second.terms) + " | " +
             sdr_fuzz::last_message());
  }
  sdr_fuzz::clear_records();
}

void check_trigger(const char* data, size_t size) {
  // The level text: each byte as one character, up to the first NUL. The
  // trigger parses its UTF-8 form, and so does the model.
  std::u16string text;
  std::string utf8;
  for (size_t i = 0; i < size && data[i]; ++i) {
    unsigned char b = static_cast<unsigned char>(data[i]);
    text.push_back(static_cast<char16_t>(b));
    if (b < 0x80) {
      utf8.push_back(static_cast<char>(b));
    } else {
      utf8.push_back(static_cast<char>(0xC0 | (b >> 6)));
      utf8.push_back(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  if (utf8.empty()) return;
  RECORDER terms;
  sdr_parse_condition_expression(utf8.data(), utf8.size(), &terms, "t", 0);
  sdr_fuzz::clear_records();
  std::vector<SDR_DATA_TRIGGER_CONDITION> expected = model_conditions(terms.terms);

  SCRATCH_DOC scratch;
  std::unique_ptr<SDR_DATA_TRIGGER> trigger = read_trigger(scratch.doc, text);
  check_internal_errors("reading the trigger");
  if (trigger->get_event_levels() != 1) fail("the trigger does not have its one level");
  std::vector<SDR_DATA_TRIGGER_CONDITION> got = conditions_of(*trigger);
  if (got != expected) {
    sdr_fuzz::print_text("level text (UTF-8)", utf8);
    fail("the trigger's conditions differ from the model's", "terms: " + describe(terms.terms) +
                                                                 " | trigger: " + describe(got) +
                                                                 " | model: " + describe(expected));
  }

  std::string written = trigger->get_condition_text(0);
  check_internal_errors("writing the condition text");
  sdr_fuzz::clear_records();
  std::unique_ptr<SDR_DATA_TRIGGER> again = read_trigger(scratch.doc, to_u16(written));
  check_internal_errors("reading the written condition text");
  std::vector<SDR_DATA_TRIGGER_CONDITION> reread = conditions_of(*again);
  std::string rewritten = again->get_condition_text(0);
  if (reread != got || rewritten != written || syntax_error_posted()) {
    sdr_fuzz::print_text("level text (UTF-8)", utf8);
    sdr_fuzz::print_text("written condition text", written);
    sdr_fuzz::print_text("written again", rewritten);
    fail("the written condition text does not read back to the same conditions",
         "first: " + describe(got) + " | reread: " + describe(reread) + " | " + sdr_fuzz::last_message());
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sdr_fuzz::target_name() = "fuzz_condition_parser";
  XMLPlatformUtils::Initialize();
  // The scanner writes stray characters to the standard output; libFuzzer
  // reports on the standard error.
  int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) {
    std::fflush(stdout);
    dup2(null_fd, STDOUT_FILENO);
    close(null_fd);
  }
  build_setup();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  check_parser(text, size);
  check_trigger(text, size);
  sdr_fuzz::clear_records();
  return 0;
}
