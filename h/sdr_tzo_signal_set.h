#ifndef SDR_TZO_SIGNAL_SET_H
#define SDR_TZO_SIGNAL_SET_H

// Import of the older line-oriented text form of the configuration file
// (first line "[@\TZO=..."): the signal collector, and the account of what
// one import took and what it left out.

#include <map>
#include <set>
#include <string>
#include <vector>

#include "sdr_data_global_enum.h"
#include "sdr_export.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_SIGNAL_WIRE;
class SDR_DATA_TRIGGER;

// What one import of an older text file did. The library posts no message
// about skipped entries; a caller that wants to tell the user reads them
// here (SDR_DATA_SESSION::get_tzo_import_report), and the debug trace
// carries a one-line summary.
struct SDR_API SDR_TZO_IMPORT_REPORT {
  enum SKIP_REASON {
    SKIP_INDEX_RANGE = 0,     // signal index beyond SDR_TZO_SIGNAL_SET::MAX_SIGNAL_INDEX
    SKIP_BAD_NAME,            // empty name, or one with control characters
    SKIP_DUPLICATE_NAME,      // a second signal of a name already taken
    SKIP_UNKNOWN_SIGNAL,      // a condition or group member naming no signal
    SKIP_UNKNOWN_DEBUG_WIRE,  // a debug output naming no signal
    SKIP_MALFORMED,           // an entry of neither known form
    SKIP_UNKNOWN_KEY,         // an acquisition key the import does not use
    SKIP_LONG_LINE,           // a line longer than the reader takes
    SKIP_REPLACED_SECTION,    // entries of a section that a later one replaced
    SKIP_REASON_COUNT
  };

  // The file was opened and read to its end.
  bool file_read = false;
  // Taken: wires created, bus rows created (one per view), signals given a
  // trigger condition other than "dont care", debug ports made.
  int signals = 0;
  int groups = 0;
  int conditions = 0;
  int debug_outputs = 0;
  // The acquisition settings the file gave and the import applied.
  bool has_acquisition = false;
  bool clock_set = false;
  bool depth_set = false;
  bool position_set = false;
  bool trigger_in_set = false;
  bool trigger_out_set = false;
  // Left out, by reason.
  int skipped[SKIP_REASON_COUNT] = {};
  // Lines outside the signal and acquisition sections (not entries).
  long long other_lines = 0;

  int get_num_skipped() const;
  // A short text for the reason ("index out of range", ...).
  static const char* get_reason_text(SKIP_REASON reason);
};

// The signal list of a "[Signal]" section: one record per signal index,
// with its name, group and trigger-condition letter.
class SDR_API SDR_TZO_SIGNAL_SET {
 public:
  // Indexes above this are skipped. The index only orders the signals, and
  // the records up to the largest index are kept in a table; this bound
  // keeps that table at a few MiB whatever a file says, while lying far
  // above the number of signals one analyzer taps.
  static const unsigned long MAX_SIGNAL_INDEX = 65535;

  SDR_TZO_SIGNAL_SET();
  virtual ~SDR_TZO_SIGNAL_SET();
  SDR_TZO_SIGNAL_SET(const SDR_TZO_SIGNAL_SET&) = delete;
  SDR_TZO_SIGNAL_SET& operator=(const SDR_TZO_SIGNAL_SET&) = delete;

  // The record at index takes name (which replaces an earlier one there).
  // False, changing nothing, for an index beyond MAX_SIGNAL_INDEX or a name
  // that is empty or holds control characters.
  bool add_signal(unsigned long index, const char* name);
  // The first record (lowest index) of that name takes the letter, or the
  // group. False when no record has the name.
  bool set_trigger_condition(const char* signal, char letter);
  bool set_group(const char* member, const char* group);

  // Turns the records into wires (captured for data and trigger, classic
  // taps) and into net rows of both views, consecutive members of one group
  // under one bus row. Index gaps make no wire, and a second record of a
  // name already taken is skipped (counted in report when given).
  bool morph_signals(SDR_DATA_SIGNAL_SET* signals, SDR_TZO_IMPORT_REPORT* report);
  // Appends a level to trigger and gives each imported wire its record's
  // condition. Needs morph_signals first.
  bool apply_trigger_conditions(SDR_DATA_TRIGGER* trigger, SDR_TZO_IMPORT_REPORT* report);

  // Records so far (index gaps included), for inspection.
  int get_num_records() const { return static_cast<int>(m_records.size()); }
  // Null, or 0 for the letter, when index is out of range.
  const char* get_name_at(int index) const;
  const char* get_group_at(int index) const;
  char get_condition_at(int index) const;
  bool is_morph_done() const { return m_morph_done; }

  // The condition a letter of the file stands for: e/E either edge, f/F
  // falling, h/H high, l/L low, r/R rising; anything else "dont care".
  static SDR_DATA_TRIGGER_CONDITION convert_condition_letter(char letter);

 private:
  struct RECORD {
    std::string name;
    std::string group;
    char condition = 0;
  };
  // The record of that name with the lowest index, or -1.
  long find_first(const std::string& name) const;

  std::vector<RECORD> m_records;
  // Every named record's index under its name.
  std::map<std::string, std::set<size_t>> m_by_name;
  // After the morph: the wire made from each record, or null.
  std::vector<SDR_DATA_SIGNAL_WIRE*> m_wires;
  bool m_morph_done = false;
};

#endif
