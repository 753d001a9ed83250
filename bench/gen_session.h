#ifndef SDR_BENCH_GEN_SESSION_H
#define SDR_BENCH_GEN_SESSION_H

// Generators of large session documents for the benchmarks, in the layout
// the data model reads (instance / signal_set / signal_vec with
// trigger_input_vec and data_input_vec wires / presentation views /
// trigger with events, levels and "data" logs) and in the layout the
// library writes (two blanks of indentation per level, no XML declaration,
// "data" text on the line of its tags, global_info last), so a generated
// file looks like one a user saved.

#include <cstddef>
#include <string>

namespace sdr_bench {

// An attribute-heavy session: instances with one signal set each, every
// wire tapped for trigger and data (two "wire" elements) and shown in both
// views (two "net" elements), and triggers whose levels carry a condition
// over every other wire of their signal set.
struct ATTRIBUTE_SHAPE {
  int instances = 4;
  int wires_per_instance = 2000;
  int bus_width = 16;  // wires per "bus" row of the views
  int triggers = 3;    // trigger t sits in instance t % instances
  int levels_per_trigger = 8;
};

// A log-heavy session: one instance of `wires` wires whose trigger holds
// `logs` captures ("data" elements) of `samples` samples, as "0"/"1" text.
struct LOG_SHAPE {
  int wires = 512;
  int logs = 5;
  int samples = 16384;  // 512 wires x 16 384 samples = 8 MiB per log
};

std::string make_attribute_session(const ATTRIBUTE_SHAPE& shape);
std::string make_log_session(const LOG_SHAPE& shape);

// The series of the growth benchmarks: the attribute shape with total wire
// count `wires` spread over four instances.
ATTRIBUTE_SHAPE growth_shape(int wires);

// Writes bytes to path (truncating). Returns false with the reason in
// *error.
bool write_text_file(const std::string& path, const std::string& bytes, std::string* error);

}  // namespace sdr_bench

#endif
