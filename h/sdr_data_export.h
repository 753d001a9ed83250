#ifndef SDR_DATA_EXPORT_H
#define SDR_DATA_EXPORT_H

// Captured logs written out for waveform viewers (VCD) and spreadsheets or
// scripts (CSV). The rows of each log's data view become the exported
// signals: every bus row (nested ones too) a vector, every net row outside
// a bus a single bit, named as the user sees them (the alias where one is
// set). Files are streamed and replace their target only when complete.

#include <memory>
#include <string>

#include "sdr_export.h"

class SDR_DATA_LOG;

class SDR_API SDR_DATA_EXPORT {
 public:
  struct OPTIONS {
    // Time between two samples, in picoseconds (1000: one nanosecond).
    long long period_ps = 1000;
    // VCD: every bus as one 1-bit variable per bit ("name[i]", in the
    // bus's bit order) instead of one vector, for readers without vectors.
    bool split_buses = false;
    // A log holding fewer bits than its depth and width call for is
    // refused, unless this is set: the missing bits then read as 0, the way
    // the log itself reads them.
    bool pad_short_data = false;
    // The text of the VCD "$date" section. Empty: the current local time,
    // or a fixed text in regression-test mode.
    std::string date;
  };

  SDR_DATA_EXPORT();
  virtual ~SDR_DATA_EXPORT();

  SDR_DATA_EXPORT(const SDR_DATA_EXPORT&) = delete;
  SDR_DATA_EXPORT& operator=(const SDR_DATA_EXPORT&) = delete;

  void set_options(const OPTIONS& options) { m_options = options; }
  const OPTIONS& get_options() const { return m_options; }

  // Adds a log to the export, one per instance; the log must stay alive
  // until the export is written. False, with the reason in *error, when
  // the log has no data, holds too few bits (see pad_short_data), belongs
  // to no signal set or data view, or its instance already has a log here.
  bool append_log(SDR_DATA_LOG* log, std::string* error);
  int get_num_logs() const;

  // Writes every log as one VCD file: one scope per instance holding one
  // per signal set. False, with the reason in *error, when there is no log
  // or path cannot be written; path is then left as it was.
  bool write_vcd(const char* path, std::string* error) const;
  // Writes the one log as CSV: a header row, then one row per sample.
  // False when there is not exactly one log or path cannot be written.
  bool write_csv(const char* path, std::string* error) const;

  // The period in picoseconds of a text in nanoseconds: digits with at
  // most three decimals ("10", "2.5"), from 1 ps up to one second. False
  // when the text is not such a period.
  static bool parse_period_ns(const char* text, long long* period_ps);

 private:
  struct LOG_ENTRY;
  struct STATE;
  std::unique_ptr<STATE> m_state;
  OPTIONS m_options;
};

#endif
