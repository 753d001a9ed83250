#ifndef SDR_BENCH_GEN_SESSION_H
#define SDR_BENCH_GEN_SESSION_H

// Generators of large session documents for the benchmarks. The text is in
// the layout the library writes (two blanks of indentation per level, no XML
// declaration, "data" text on the line of its tags, global_info last), so a
// generated file looks like one a user saved.

#include <cstddef>
#include <string>

namespace sdr_bench {

// An attribute-heavy session: instances holding signal sets of signal
// vectors of wires (about 330 bytes of attributes per wire), and triggers
// whose levels carry a condition equation over the wires of their instance.
struct ATTRIBUTE_SHAPE {
  int instances = 4;
  int wires_per_instance = 2000;
  int wires_per_vec = 16;
  int vecs_per_set = 25;
  int triggers = 3;
  int levels_per_trigger = 8;
};

// A log-heavy session: a small design (one instance) and logs, each holding
// one "data" element of captured samples as "0"/"1" text.
struct LOG_SHAPE {
  int wires = 512;
  int logs = 5;
  size_t bits_per_log = size_t{8} << 20;  // 512 wires x 16 384 samples
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
