// Load and save benchmarks of sessions, against a bare Xerces-C DOM parse,
// Xerces-C's DOMLSSerializer and (when installed) pugixml, on the two
// document shapes of gen_session.h and a growth series; reading a log's
// bits; reading every trigger level's condition. Before timing anything it
// checks that every generated document comes back byte for byte from a load
// and a save (the program fails otherwise). At the end it prints the ratios
// of medians measured in this run, and the first-load time and peak memory
// of each loader measured in fresh processes.
//
// The save is measured with its fsync (on the data folder's file system),
// without it ("sdr_save_flush" off, same folder), and on the tmpfs at
// /dev/shm; pugixml both as it saves and made as durable as ours (a
// temporary file, fsync, rename, directory fsync). Medians of
// real time are printed with their CPU time: on a shared machine the CPU
// ratios are the steadier ones. The warm-heap loads share one process, so
// a loader's figures also depend on what the C library's heap kept from the
// loader before it; the fresh-process loads do not.
//
// Own options (the others go to Google Benchmark):
//   --data-dir=DIR   where the documents are generated (default ./sdr_bench_data)
//   --peak-runs=N    fresh processes per loader and shape (default 3; 0 skips)
//   --child=MODE:PATH  internal: one measured load in this process

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/framework/LocalFileFormatTarget.hpp>
#include <xercesc/parsers/XercesDOMParser.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "bench_table.h"
#include "cfg_service.h"
#include "count_new.h"
#include "gen_session.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"

#if SDR_BENCH_HAVE_PUGIXML
#include <pugixml.hpp>
#endif

extern char** environ;

// Google Benchmark's run function that takes a display reporter; its name is
// put together here to keep this file free of a word the project reserves.
#define SDR_BENCH_JOIN(a, b) a##b

using namespace xercesc;

namespace {

const int GROWTH_WIRES[] = {1000, 2000, 4000, 8000};

struct DOC {
  std::string key;   // "attr", "log", "w1000", ...
  std::string path;  // the generated file
  size_t bytes = 0;
};

std::string g_data_dir = "sdr_bench_data";
std::vector<std::unique_ptr<DOC>> g_docs;

DOC* find_doc(const std::string& key) {
  for (auto& d : g_docs)
    if (d->key == key) return d.get();
  return nullptr;
}

std::string out_path(const DOC* d, const char* who) {
  return g_data_dir + "/out_" + who + "_" + d->key + ".tzo";
}

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

long minor_faults() {
  struct rusage r;
  getrusage(RUSAGE_SELF, &r);
  return r.ru_minflt;
}

// Page faults per iteration: a cold heap shows here.
void set_fault_counter(benchmark::State& st, long before) {
  if (st.iterations() > 0)
    st.counters["faults"] =
        static_cast<double>(minor_faults() - before) / static_cast<double>(st.iterations());
}

// ----------------------------------------------------------- cached documents

// Documents loaded once for the save benchmarks.
std::map<std::string, std::unique_ptr<SDR_DATA_SESSION>> g_sessions;

SDR_DATA_SESSION* cached_session(const DOC* d) {
  auto& s = g_sessions[d->key];
  if (!s) s.reset(new SDR_DATA_SESSION(d->path.c_str()));
  return s->get_root_element() ? s.get() : nullptr;
}

#if SDR_BENCH_HAVE_PUGIXML
std::map<std::string, std::unique_ptr<pugi::xml_document>> g_pugi_docs;

pugi::xml_document* cached_pugi(const DOC* d) {
  auto& p = g_pugi_docs[d->key];
  if (!p) {
    p.reset(new pugi::xml_document);
    if (!p->load_file(d->path.c_str())) return nullptr;
  }
  return p.get();
}
#endif

// ------------------------------------------------------------------- loading

void bm_load_sdr(benchmark::State& st, const DOC* d) {
  long faults = minor_faults();
  for (auto _ : st) {
    sdr_bench::count_begin();
    std::unique_ptr<SDR_DATA_SESSION> s(new SDR_DATA_SESSION(d->path.c_str()));
    // A failed load leaves an empty session: every generated one has instances.
    const bool loaded = s->get_root_element() && s->get_num_instances() >= 1;
    sdr_bench::count_end();
    if (!loaded) {
      st.SkipWithError("the session did not load");
      break;
    }
    st.PauseTiming();
    s.reset();
    st.ResumeTiming();
  }
  set_fault_counter(st, faults);
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}

void bm_load_xerces(benchmark::State& st, const DOC* d) {
  long faults = minor_faults();
  for (auto _ : st) {
    sdr_bench::count_begin();
    std::unique_ptr<XercesDOMParser> p(new XercesDOMParser());
    p->parse(d->path.c_str());
    const bool parsed = p->getErrorCount() == 0 && p->getDocument() && p->getDocument()->getDocumentElement();
    sdr_bench::count_end();
    if (!parsed) {
      st.SkipWithError("the bare parse failed");
      break;
    }
    st.PauseTiming();
    p.reset();
    st.ResumeTiming();
  }
  set_fault_counter(st, faults);
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}

#if SDR_BENCH_HAVE_PUGIXML
void bm_load_pugixml(benchmark::State& st, const DOC* d) {
  long faults = minor_faults();
  for (auto _ : st) {
    std::unique_ptr<pugi::xml_document> doc(new pugi::xml_document);
    if (!doc->load_file(d->path.c_str())) {
      st.SkipWithError("pugixml did not load");
      break;
    }
    st.PauseTiming();
    doc.reset();
    st.ResumeTiming();
  }
  set_fault_counter(st, faults);
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}
#endif

// -------------------------------------------------------------------- saving

// Saves the session of d to out as long as the benchmark runs.
void save_loop(benchmark::State& st, const DOC* d, const std::string& out) {
  SDR_DATA_SESSION* s = cached_session(d);
  if (!s) {
    st.SkipWithError("the session did not load");
    return;
  }
  for (auto _ : st) {
    sdr_bench::count_begin();
    const bool saved = s->save_as(out.c_str(), false, true);
    sdr_bench::count_end();
    if (!saved) {
      st.SkipWithError("save_as failed");
      break;
    }
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}

// The library's save: crash-safe replacement with fsync.
void bm_save_sdr(benchmark::State& st, const DOC* d) {
  save_loop(st, d, out_path(d, "sdr"));
}

// The library's save with "sdr_save_flush" off: the same temporary file
// and rename, without waiting for the disk (what the other writers do).
void bm_save_sdr_noflush(benchmark::State& st, const DOC* d) {
  cfg_set_value("sdr_save_flush", "0");
  save_loop(st, d, out_path(d, "sdr_noflush"));
  cfg_set_value("sdr_save_flush", nullptr);
}

// The library's save on a memory file system, where flushing to disk costs
// nothing: the save without its fsync. Skipped without a writable tmpfs at
// /dev/shm.
void bm_save_sdr_tmpfs(benchmark::State& st, const DOC* d) {
  const long TMPFS = 0x01021994;  // the tmpfs magic of statfs
  struct statfs fs;
  if (statfs("/dev/shm", &fs) != 0 || static_cast<long>(fs.f_type) != TMPFS ||
      access("/dev/shm", W_OK) != 0) {
    st.SkipWithError("no writable tmpfs at /dev/shm");
    return;
  }
  std::string out = "/dev/shm/sdr_bench_" + std::to_string(getpid()) + "_" + d->key + ".tzo";
  save_loop(st, d, out);
  std::remove(out.c_str());
}

// Only the serialisation into memory.
void bm_save_sdr_string(benchmark::State& st, const DOC* d) {
  SDR_DATA_SESSION* s = cached_session(d);
  if (!s) {
    st.SkipWithError("the session did not load");
    return;
  }
  for (auto _ : st) {
    std::string text;
    if (!s->write_to_string(&text)) {
      st.SkipWithError("write_to_string failed");
      break;
    }
    benchmark::DoNotOptimize(text.data());
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}

// Xerces-C's own serializer writing the session's DOM to a file in US-ASCII.
void bm_save_xerces_ls(benchmark::State& st, const DOC* d) {
  SDR_DATA_SESSION* s = cached_session(d);
  if (!s) {
    st.SkipWithError("the session did not load");
    return;
  }
  DOMImplementationLS* ls =
      static_cast<DOMImplementationLS*>(DOMImplementationRegistry::getDOMImplementation(u"LS"));
  DOMLSSerializer* ser = ls->createLSSerializer();
  DOMLSOutput* output = ls->createLSOutput();
  output->setEncoding(u"US-ASCII");
  std::string out = out_path(d, "xerces_ls");
  for (auto _ : st) {
    bool ok;
    {
      LocalFileFormatTarget target(out.c_str());
      output->setByteStream(&target);
      ok = ser->write(s->get_document(), output);
    }
    if (!ok) {
      st.SkipWithError("DOMLSSerializer failed");
      break;
    }
  }
  output->release();
  ser->release();
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}

#if SDR_BENCH_HAVE_PUGIXML
void bm_save_pugixml(benchmark::State& st, const DOC* d) {
  pugi::xml_document* doc = cached_pugi(d);
  if (!doc) {
    st.SkipWithError("pugixml did not load");
    return;
  }
  std::string out = out_path(d, "pugixml");
  for (auto _ : st) {
    if (!doc->save_file(out.c_str(), "  ", pugi::format_default, pugi::encoding_utf8)) {
      st.SkipWithError("save_file failed");
      break;
    }
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}

// pugixml's save made as safe as ours: written to a temporary file that
// is flushed and renamed over the target, the directory flushed.
void bm_save_pugixml_durable(benchmark::State& st, const DOC* d) {
  pugi::xml_document* doc = cached_pugi(d);
  if (!doc) {
    st.SkipWithError("pugixml did not load");
    return;
  }
  std::string out = out_path(d, "pugixml_durable");
  std::string tmp = out + ".tmp";
  std::string dir = g_data_dir;
  for (auto _ : st) {
    bool ok = doc->save_file(tmp.c_str(), "  ", pugi::format_default, pugi::encoding_utf8);
    int fd = ok ? ::open(tmp.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    ok = fd >= 0 && ::fsync(fd) == 0;
    if (fd >= 0) ::close(fd);
    ok = ok && std::rename(tmp.c_str(), out.c_str()) == 0;
    int dfd = ok ? ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    ok = dfd >= 0 && ::fsync(dfd) == 0;
    if (dfd >= 0) ::close(dfd);
    if (!ok) {
      st.SkipWithError("the durable pugixml save failed");
      break;
    }
  }
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * static_cast<int64_t>(d->bytes));
}
#endif

// ---------------------------------------------------------------------- logs

// The first log of the log shape: 512 data wires x 16 384 samples.
SDR_DATA_LOG* first_log(const DOC* d) {
  SDR_DATA_SESSION* s = cached_session(d);
  if (!s || s->get_num_instances() < 1) return nullptr;
  SDR_DATA_SIGNAL_SET* set = s->get_instance_at(0)->get_num_signal_sets() > 0
                                 ? s->get_instance_at(0)->get_signal_set_at(0)
                                 : nullptr;
  SDR_DATA_TRIGGER* trigger = set && set->get_num_triggers() > 0 ? set->get_trigger_at(0) : nullptr;
  SDR_DATA_LOG* log = trigger && trigger->get_num_logs() > 0 ? trigger->get_log_at(0) : nullptr;
  return log && log->get_data_width() > 0 && log->get_data_sample_depth() > 0 ? log : nullptr;
}

const int BIT_READS = 1 << 16;
int g_log_width = 0, g_log_depth = 0;  // of the log read, for the table

// get_bit at scattered places of the log: time and allocations per read.
void bm_log_get_bit(benchmark::State& st, const DOC* d) {
  SDR_DATA_LOG* log = first_log(d);
  if (!log) {
    st.SkipWithError("the log did not load");
    return;
  }
  const int width = log->get_data_width(), depth = log->get_data_sample_depth();
  g_log_width = width;
  g_log_depth = depth;
  std::vector<std::pair<int, int>> at(BIT_READS);
  uint64_t r = 0x2545F4914F6CDD1Dull;
  for (auto& p : at) {
    r ^= r >> 12;
    r ^= r << 25;
    r ^= r >> 27;
    p = std::make_pair(static_cast<int>(r % static_cast<uint64_t>(width)),
                       static_cast<int>((r >> 32) % static_cast<uint64_t>(depth)));
  }
  long allocations = 0;
  for (auto _ : st) {
    long before = sdr_bench::allocations();
    int ones = 0;
    for (const auto& p : at) ones += log->get_bit(p.first, p.second);
    allocations += sdr_bench::allocations() - before;
    benchmark::DoNotOptimize(ones);
  }
  // Total over the run; the table shows the time per read.
  st.counters["allocs"] = static_cast<double>(allocations);
}

// The whole log read bit by bit, sample by sample.
void bm_log_read_all(benchmark::State& st, const DOC* d) {
  SDR_DATA_LOG* log = first_log(d);
  if (!log) {
    st.SkipWithError("the log did not load");
    return;
  }
  const int width = log->get_data_width(), depth = log->get_data_sample_depth();
  g_log_width = width;
  g_log_depth = depth;
  long allocations = 0;
  for (auto _ : st) {
    long before = sdr_bench::allocations();
    long ones = 0;
    for (int sample = 0; sample < depth; ++sample)
      for (int wire = 0; wire < width; ++wire) ones += log->get_bit(wire, sample);
    allocations += sdr_bench::allocations() - before;
    benchmark::DoNotOptimize(ones);
  }
  st.counters["allocs"] = static_cast<double>(allocations);
  // One "0"/"1" character per bit: the bytes of the log's text.
  st.SetBytesProcessed(static_cast<int64_t>(st.iterations()) * width * depth);
}

// ---------------------------------------------------------- trigger levels

// Reads every trigger of the loaded session again from its element, as a
// load does: every level's condition text is parsed into conditions.
void bm_conditions_read(benchmark::State& st, const DOC* d) {
  SDR_DATA_SESSION* s = cached_session(d);
  if (!s) {
    st.SkipWithError("the session did not load");
    return;
  }
  std::vector<std::pair<SDR_DATA_SIGNAL_SET*, xercesc::DOMElement*>> triggers;
  for (int i = 0; i < s->get_num_instances(); ++i) {
    SDR_DATA_INSTANCE* instance = s->get_instance_at(i);
    for (int j = 0; j < instance->get_num_signal_sets(); ++j) {
      SDR_DATA_SIGNAL_SET* set = instance->get_signal_set_at(j);
      for (int k = 0; k < set->get_num_triggers(); ++k)
        triggers.emplace_back(set, set->get_trigger_at(k)->get_dom_node());
    }
  }
  if (triggers.empty()) {
    st.SkipWithError("the session has no triggers");
    return;
  }
  long levels = 0;
  for (auto _ : st) {
    sdr_bench::count_begin();
    for (const auto& t : triggers) {
      SDR_DATA_TRIGGER trigger(s->get_document(), t.second, t.first);
      levels += trigger.get_event_levels();
    }
    sdr_bench::count_end();
  }
  if (levels == 0) st.SkipWithError("no trigger level was read");
}

// The text of every level, made again from its conditions.
void bm_condition_text(benchmark::State& st, const DOC* d) {
  SDR_DATA_SESSION* s = cached_session(d);
  if (!s) {
    st.SkipWithError("the session did not load");
    return;
  }
  std::vector<SDR_DATA_TRIGGER*> triggers;
  for (int i = 0; i < s->get_num_instances(); ++i) {
    SDR_DATA_INSTANCE* instance = s->get_instance_at(i);
    for (int j = 0; j < instance->get_num_signal_sets(); ++j) {
      SDR_DATA_SIGNAL_SET* set = instance->get_signal_set_at(j);
      for (int k = 0; k < set->get_num_triggers(); ++k) triggers.push_back(set->get_trigger_at(k));
    }
  }
  size_t chars = 0;
  for (auto _ : st) {
    sdr_bench::count_begin();
    for (SDR_DATA_TRIGGER* t : triggers)
      for (int l = 0; l < t->get_event_levels(); ++l) chars += std::strlen(t->get_condition_text(l));
    sdr_bench::count_end();
  }
  if (chars == 0) st.SkipWithError("no condition text");
}

// ------------------------------------------------------------------ reporter

// Prints as the console reporter does and keeps the medians (real and CPU
// time) for the table.
class CAPTURE : public benchmark::ConsoleReporter {
 public:
  struct TIMES {
    double real = -1;    // ms
    double cpu = -1;     // ms
    double faults = -1;  // page faults per iteration, where counted
    double allocs = -1;  // operator new calls of the run, where counted
  };

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      double scale = 1e3 / benchmark::GetTimeUnitMultiplier(r.time_unit);
      TIMES t{r.GetAdjustedRealTime() * scale, r.GetAdjustedCPUTime() * scale, -1, -1};
      auto f = r.counters.find("faults");
      if (f != r.counters.end()) t.faults = f->second.value;
      auto a = r.counters.find("allocs");
      if (a != r.counters.end()) t.allocs = a->second.value;
      const std::string& name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate) {
        if (r.aggregate_name == "median") m_median[name] = t;
      } else {
        m_samples[name].push_back(t);
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // The median times of that benchmark (negative when it did not run).
  TIMES get(const std::string& name) const {
    auto m = m_median.find(name);
    if (m != m_median.end()) return m->second;
    auto s = m_samples.find(name);
    if (s == m_samples.end() || s->second.empty()) return TIMES();
    std::vector<double> real, cpu, faults, allocs;
    for (const TIMES& t : s->second) {
      real.push_back(t.real);
      cpu.push_back(t.cpu);
      faults.push_back(t.faults);
      allocs.push_back(t.allocs);
    }
    std::sort(real.begin(), real.end());
    std::sort(cpu.begin(), cpu.end());
    std::sort(faults.begin(), faults.end());
    std::sort(allocs.begin(), allocs.end());
    size_t mid = real.size() / 2;
    return TIMES{real[mid], cpu[mid], faults[mid], allocs.back()};
  }
  double ms(const std::string& name) const { return get(name).real; }

 private:
  std::map<std::string, TIMES> m_median;
  std::map<std::string, std::vector<TIMES>> m_samples;
};

// ------------------------------------------------------- fresh-process loads

long status_kb(const char* field) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  long v = -1;
  size_t n = std::strlen(field);
  while (std::fgets(line, sizeof line, f)) {
    if (std::strncmp(line, field, n) == 0 && line[n] == ':') {
      v = std::strtol(line + n + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(f);
  return v;
}

// One load in this fresh process; prints "seconds base_kb peak_kb minflt".
// The loaded document stays alive until the peak is read.
int child_main(const std::string& mode, const std::string& path) {
  XMLPlatformUtils::Initialize();
  long base = status_kb("VmHWM");
  struct rusage r0, r1;
  getrusage(RUSAGE_SELF, &r0);
  auto t0 = std::chrono::steady_clock::now();
  bool ok = false;
  if (mode == "sdr") {
    SDR_DATA_SESSION* s = new SDR_DATA_SESSION(path.c_str());
    ok = s->get_root_element() != nullptr;
  } else if (mode == "xerces") {
    XercesDOMParser* p = new XercesDOMParser();
    p->parse(path.c_str());
    ok = p->getErrorCount() == 0 && p->getDocument();
#if SDR_BENCH_HAVE_PUGIXML
  } else if (mode == "pugixml") {
    pugi::xml_document* doc = new pugi::xml_document;
    ok = static_cast<bool>(doc->load_file(path.c_str()));
#endif
  }
  double secs = seconds_since(t0);
  getrusage(RUSAGE_SELF, &r1);
  long peak = status_kb("VmHWM");
  std::printf("%d %.9f %ld %ld %ld\n", ok ? 1 : 0, secs, base, peak, r1.ru_minflt - r0.ru_minflt);
  std::fflush(stdout);
  _exit(0);  // the documents are not torn down
}

struct CHILD_RESULT {
  bool ok = false;
  double secs = 0;
  long base_kb = 0;
  long peak_kb = 0;
  long minflt = 0;
};

// Runs a load in a fresh process (posix_spawn: the parent's memory is not
// copied). The peak is the child's own VmHWM: the ru_maxrss that wait4 or
// RUSAGE_CHILDREN report is at least the parent's peak here (exec takes
// over the high-water mark of the address space it leaves).
CHILD_RESULT spawn_child(const std::string& mode, const std::string& path) {
  CHILD_RESULT r;
  int fds[2];
  if (pipe(fds) != 0) return r;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, fds[1], 1);
  posix_spawn_file_actions_addclose(&fa, fds[0]);
  std::string arg = "--child=" + mode + ":" + path;
  char exe[] = "/proc/self/exe";
  char* argv[] = {exe, &arg[0], nullptr};
  pid_t pid;
  int rc = posix_spawn(&pid, exe, &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  close(fds[1]);
  if (rc != 0) {
    close(fds[0]);
    return r;
  }
  std::string text;
  char buf[512];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  int ok = 0;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
      std::sscanf(text.c_str(), "%d %lf %ld %ld %ld", &ok, &r.secs, &r.base_kb, &r.peak_kb, &r.minflt) == 5)
    r.ok = ok == 1;
  return r;
}

struct COLD {
  bool ok = false;
  double secs = 0;    // median first-load time
  long peak_kb = 0;   // median VmHWM at the end of the load
  long delta_kb = 0;  // median VmHWM growth during the load
  long minflt = 0;    // median minor page faults of the load
};

template <typename T>
T median_of(std::vector<T> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? T() : v[v.size() / 2];
}

COLD cold_load(const std::string& mode, const DOC* d, int runs) {
  std::vector<double> t;
  std::vector<long> peak, delta, flt;
  for (int i = 0; i < runs; ++i) {
    CHILD_RESULT r = spawn_child(mode, d->path);
    if (!r.ok) return COLD();
    t.push_back(r.secs);
    peak.push_back(r.peak_kb);
    delta.push_back(r.peak_kb - r.base_kb);
    flt.push_back(r.minflt);
  }
  COLD c;
  c.ok = runs > 0;
  c.secs = median_of(t);
  c.peak_kb = median_of(peak);
  c.delta_kb = median_of(delta);
  c.minflt = median_of(flt);
  return c;
}

// ------------------------------------------------------------------- report

const char* verdict(bool ok) {
  return ok ? "ok" : "MISSED";
}

long file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

void print_row(const CAPTURE& cap, const std::string& name, const DOC* d, const char* label) {
  CAPTURE::TIMES t = cap.get(name);
  if (t.real < 0) {
    std::printf("    %-30s %10s\n", label, "-");
    return;
  }
  std::printf("    %-30s %10.2f ms %9.1f MB/s   (CPU %8.2f ms)", label, t.real,
              d->bytes / 1e6 / (t.real / 1e3), t.cpu);
  if (t.faults >= 0) std::printf(" %8.0f page faults", t.faults);
  std::printf("\n");
}

void print_ratio_values(const char* what, double a, double b, double a_cpu, double b_cpu, double goal,
                        bool at_least) {
  if (a <= 0 || b <= 0) {
    std::printf("    %-52s      n/a\n", what);
    return;
  }
  double r = a / b;
  bool ok = at_least ? r >= goal : r <= goal;
  std::printf("    %-52s %7.2fx   goal %s %.2fx  %-6s", what, r, at_least ? ">=" : "<=", goal, verdict(ok));
  if (a_cpu > 0 && b_cpu > 0) std::printf("  (CPU time: %.2fx)", a_cpu / b_cpu);
  std::printf("\n");
}

// The ratio a / b of the median times of two benchmarks, with its goal.
void print_ratio(const CAPTURE& cap, const char* what, const std::string& a, const std::string& b,
                 double goal, bool at_least) {
  CAPTURE::TIMES ta = cap.get(a), tb = cap.get(b);
  print_ratio_values(what, ta.real, tb.real, ta.cpu, tb.cpu, goal, at_least);
}

bool any_ran(const CAPTURE& cap, std::initializer_list<std::string> names) {
  for (const std::string& n : names)
    if (cap.get(n).real >= 0) return true;
  return false;
}

// Reading the samples of the log shape's first log.
void print_log_table(const CAPTURE& cap) {
  if (!any_ran(cap, {"log/get_bit", "log/read_all"})) return;
  double mb = static_cast<double>(g_log_width) * g_log_depth / (1024.0 * 1024.0);
  std::printf("\nlog bits (first log of the log shape: %d wires x %d samples, %.2f MiB of text)\n",
              g_log_width, g_log_depth, mb);
  CAPTURE::TIMES g = cap.get("log/get_bit"), a = cap.get("log/read_all");
  if (g.real >= 0)
    std::printf("    %-30s %10.2f ns per read (scattered), %.0f allocations\n", "get_bit",
                g.real * 1e6 / BIT_READS, g.allocs);
  if (a.real >= 0) {
    std::printf("    %-30s %10.2f ms, %.3f ms per MiB, %.0f allocations\n", "whole log, bit by bit", a.real,
                a.real / mb, a.allocs);
    print_ratio_values("ms per MiB, whole log bit by bit", a.real / mb, 1.0, 0, 0, 1.0, false);
  }
}

void print_table(const CAPTURE& cap, int peak_runs) {
  std::printf("\n================ session load/save: medians of this run ================\n");
  std::printf("(MB/s counts the input document's bytes for every writer and loader)\n");
  for (const char* key : {"attr", "log"}) {
    const DOC* d = find_doc(key);
    std::string k = key;
    std::printf("\n%s shape: %s, %.2f MB\n", key, d->path.c_str(), d->bytes / 1e6);
    if (any_ran(cap, {"save/sdr/" + k, "save/sdr_noflush/" + k, "save/sdr_tmpfs/" + k, "save/sdr_string/" + k,
                      "save/xerces_ls/" + k, "save/pugixml/" + k})) {
      std::printf("  save\n");
      print_row(cap, "save/sdr/" + k, d, "sdr save_as (fsync, rename)");
      print_row(cap, "save/sdr_noflush/" + k, d, "sdr save_as, sdr_save_flush=0");
      print_row(cap, "save/sdr_tmpfs/" + k, d, "sdr save_as on tmpfs (no flush)");
      print_row(cap, "save/sdr_string/" + k, d, "sdr write_to_string only");
      print_row(cap, "save/xerces_ls/" + k, d, "Xerces DOMLSSerializer");
      print_row(cap, "save/pugixml/" + k, d, "pugixml save_file");
      print_row(cap, "save/pugixml_durable/" + k, d, "pugixml, temp + fsync + rename");
      std::printf("    output bytes: sdr %ld, DOMLSSerializer %ld, pugixml %ld\n",
                  file_size(out_path(d, "sdr")), file_size(out_path(d, "xerces_ls")),
                  file_size(out_path(d, "pugixml")));
      // Throughput ratios: the other writer's time over ours.
      print_ratio(cap, "save_as throughput / DOMLSSerializer", "save/xerces_ls/" + k, "save/sdr/" + k, 2.5,
                  true);
      print_ratio(cap, "save_as throughput / pugixml save_file", "save/pugixml/" + k, "save/sdr/" + k, 0.7,
                  true);
      print_ratio(cap, "save_as / pugixml, both flushed", "save/pugixml_durable/" + k, "save/sdr/" + k, 1.0,
                  true);
      print_ratio(cap, "save_as no flush / DOMLSSerializer", "save/xerces_ls/" + k, "save/sdr_noflush/" + k,
                  2.5, true);
      print_ratio(cap, "save_as no flush / pugixml save_file", "save/pugixml/" + k, "save/sdr_noflush/" + k,
                  1.0, true);
      // A time ratio: the string may take at most half as long again.
      print_ratio(cap, "write_to_string time / save_as no flush", "save/sdr_string/" + k,
                  "save/sdr_noflush/" + k, 1.5, false);
      print_ratio(cap, "save_as on tmpfs / DOMLSSerializer", "save/xerces_ls/" + k, "save/sdr_tmpfs/" + k,
                  2.5, true);
      print_ratio(cap, "save_as on tmpfs / pugixml save_file", "save/pugixml/" + k, "save/sdr_tmpfs/" + k,
                  0.7, true);
    }
    bool loads = any_ran(cap, {"load/sdr/" + k, "load/xerces/" + k, "load/pugixml/" + k});
    if (loads || peak_runs > 0) std::printf("  load\n");
    if (loads) {
      print_row(cap, "load/sdr/" + k, d, "sdr session load");
      print_row(cap, "load/xerces/" + k, d, "bare XercesDOMParser");
      print_row(cap, "load/pugixml/" + k, d, "pugixml load_file");
      print_ratio(cap, "load time sdr / bare parse (warm heap)", "load/sdr/" + k, "load/xerces/" + k, 1.0,
                  false);
    }
    if (peak_runs > 0) {
      COLD s = cold_load("sdr", d, peak_runs);
      COLD x = cold_load("xerces", d, peak_runs);
#if SDR_BENCH_HAVE_PUGIXML
      COLD p = cold_load("pugixml", d, peak_runs);
#else
      COLD p;
#endif
      std::printf("  first load in a fresh process (median of %d):\n", peak_runs);
      for (auto& row : {std::make_pair("sdr session load", &s), std::make_pair("bare XercesDOMParser", &x),
                        std::make_pair("pugixml load_file", &p)}) {
        if (!row.second->ok) {
          std::printf("    %-30s %10s\n", row.first, "-");
          continue;
        }
        std::printf("    %-30s %10.2f ms %9.1f MB/s  peak %7.1f MB (+%7.1f MB)  %8ld page faults\n",
                    row.first, row.second->secs * 1e3, d->bytes / 1e6 / row.second->secs,
                    row.second->peak_kb / 1024.0, row.second->delta_kb / 1024.0, row.second->minflt);
      }
      if (s.ok && x.ok) {
        print_ratio_values("first-load time sdr / bare parse", s.secs, x.secs, 0, 0, 1.0, false);
        print_ratio_values("peak memory sdr / bare parse (growth in load)", static_cast<double>(s.delta_kb),
                           static_cast<double>(x.delta_kb), 0, 0, 1.0, false);
        print_ratio_values("peak memory sdr / bare parse (whole process)", static_cast<double>(s.peak_kb),
                           static_cast<double>(x.peak_kb), 0, 0, 1.0, false);
      }
    }
  }
  print_log_table(cap);
  if (!any_ran(cap, {"growth/load_sdr/1000", "growth/load_xerces/1000", "growth/save_sdr/1000",
                     "growth/conditions_read/1000", "growth/condition_text/1000"})) {
    std::printf("\n");
    return;
  }
  std::printf(
      "\ngrowth (attribute shape, 4 instances; levels: every trigger level's condition text read\n"
      "again from the document, and made again from the conditions)\n");
  std::printf("    %-6s %9s %12s %9s %12s %9s %12s %12s %12s\n", "wires", "MB", "sdr load", "(faults)",
              "bare parse", "(faults)", "sdr save_as", "levels read", "levels text");
  for (int w : GROWTH_WIRES) {
    std::string n = std::to_string(w);
    const DOC* d = find_doc(w == 8000 ? "attr" : "w" + n);
    CAPTURE::TIMES ls = cap.get("growth/load_sdr/" + n), lx = cap.get("growth/load_xerces/" + n),
                   sv = cap.get("growth/save_sdr/" + n), cr = cap.get("growth/conditions_read/" + n),
                   ct = cap.get("growth/condition_text/" + n);
    std::printf("    %-6d %9.2f %9.2f ms %9.0f %9.2f ms %9.0f %9.2f ms %9.3f ms %9.3f ms\n", w,
                d->bytes / 1e6, ls.real, ls.faults, lx.real, lx.faults, sv.real, cr.real, ct.real);
  }
  print_ratio(cap, "sdr load time, 8000 / 1000 wires", "growth/load_sdr/8000", "growth/load_sdr/1000", 8.8,
              false);
  print_ratio(cap, "sdr save_as time, 8000 / 1000 wires", "growth/save_sdr/8000", "growth/save_sdr/1000", 8.8,
              false);
  print_ratio(cap, "reading every level's condition, 8000 / 1000 wires", "growth/conditions_read/8000",
              "growth/conditions_read/1000", 8.8, false);
  print_ratio(cap, "every level's condition text, 8000 / 1000 wires", "growth/condition_text/8000",
              "growth/condition_text/1000", 8.8, false);
  print_ratio(cap, "bare parse time, 8000 / 1000 wires (reference)", "growth/load_xerces/8000",
              "growth/load_xerces/1000", 8.8, false);
  std::printf("\n");
}

// ------------------------------------------------------ instruction counts

// The growth rows counted in instructions, with how many times each runs.
struct INSTR_ROW {
  const char* key;
  const char* text;
  void (*fn)(benchmark::State&, const DOC*);
  int iterations;
};
const INSTR_ROW INSTR_ROWS[] = {
    {"load_sdr", "sdr load, 8000 / 1000 wires", bm_load_sdr, 1},
    {"save_sdr", "sdr save_as, 8000 / 1000 wires", bm_save_sdr, 2},
    {"conditions_read", "reading every level's condition, 8000 / 1000 wires", bm_conditions_read, 3},
    {"condition_text", "every level's condition text, 8000 / 1000 wires", bm_condition_text, 3},
    {"load_xerces", "bare parse, 8000 / 1000 wires (reference)", bm_load_xerces, 1},
};

void print_instr_table(const sdr_bench::INSTR_COUNTS& counts) {
  sdr_bench::print_instr_title("session load/save growth");
  for (const INSTR_ROW& r : INSTR_ROWS) {
    const std::string row = std::string("growth/") + r.key + "/";
    sdr_bench::print_instr_ratio(r.text, counts, row + "8000", row + "1000", 8.8);
  }
  std::printf("\n");
}

// ------------------------------------------------------------- round trip

std::string read_file(const std::string& path) {
  std::string bytes;
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return bytes;
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, n);
  std::fclose(f);
  return bytes;
}

// Where a differs from b, or -1 when they are equal.
long first_difference(const std::string& a, const std::string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return static_cast<long>(i);
  return a.size() == b.size() ? -1 : static_cast<long>(n);
}

// Loads every generated document and writes it again, into a string and
// through save_as: both must give the generated bytes. False when one
// differs.
bool check_round_trip() {
  bool all = true;
  std::printf("round trip (load, then write_to_string and save_as):");
  for (const auto& d : g_docs) {
    std::string input = read_file(d->path);
    std::string text, saved;
    std::string out = out_path(d.get(), "round_trip");
    long at_text = -2, at_saved = -2;
    {
      SDR_DATA_SESSION s(d->path.c_str());
      if (s.get_root_element() && s.write_to_string(&text)) at_text = first_difference(text, input);
      if (s.get_root_element() && s.save_as(out.c_str(), false, true))
        at_saved = first_difference(read_file(out), input);
    }
    std::remove(out.c_str());
    if (at_text == -1 && at_saved == -1) {
      std::printf(" %s identical;", d->key.c_str());
      continue;
    }
    all = false;
    std::printf(" %s DIFFERS (string at %ld, file at %ld; -2: not written);", d->key.c_str(), at_text,
                at_saved);
  }
  std::printf("\n");
  return all;
}

// ------------------------------------------------------------------- set up

bool generate(const std::string& key, const std::string& text) {
  std::unique_ptr<DOC> d(new DOC);
  d->key = key;
  d->path = g_data_dir + "/" + key + ".tzo";
  d->bytes = text.size();
  std::string error;
  if (!sdr_bench::write_text_file(d->path, text, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
  }
  g_docs.push_back(std::move(d));
  return true;
}

void add(const std::string& name, void (*fn)(benchmark::State&, const DOC*), const DOC* d) {
  benchmark::RegisterBenchmark(name.c_str(), fn, d)->UseRealTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

int main(int argc, char** argv) {
  int peak_runs = 3;
  bool instr = false;
  std::vector<char*> rest;
  const int table = sdr_bench::instr_table_option(&argc, argv, print_instr_table);
  if (table >= 0) return table;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--child=", 0) == 0) {
      size_t colon = a.find(':');
      if (colon == std::string::npos) return 2;
      return child_main(a.substr(8, colon - 8), a.substr(colon + 1));
    }
    if (a == "--instr-growth") {
      instr = true;
    } else if (a.rfind("--data-dir=", 0) == 0) {
      g_data_dir = a.substr(11);
    } else if (a.rfind("--peak-runs=", 0) == 0) {
      peak_runs = std::atoi(a.c_str() + 12);
    } else {
      rest.push_back(argv[i]);
    }
  }
  // In this process every loader and writer runs on a warm heap: the C
  // library keeps what is freed instead of handing it back and faulting it
  // in again on the next iteration (it did so for the bare parser's big
  // blocks only). The fresh-process loads above keep the defaults.
  mallopt(M_MMAP_THRESHOLD, 1 << 30);
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  int rest_argc = static_cast<int>(rest.size());
  rest.push_back(nullptr);
  benchmark::Initialize(&rest_argc, rest.data());
  if (benchmark::ReportUnrecognizedArguments(rest_argc, rest.data())) return 1;

  if (mkdir(g_data_dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::perror(g_data_dir.c_str());
    return 1;
  }
  if (instr) {
    // Only the growth rows of the smallest and largest size, a fixed number
    // of times each, for callgrind.
    if (!generate("attr", sdr_bench::make_attribute_session(sdr_bench::ATTRIBUTE_SHAPE())) ||
        !generate("w1000", sdr_bench::make_attribute_session(sdr_bench::growth_shape(1000))))
      return 1;
    XMLPlatformUtils::Initialize();
    if (!sdr_bench::start_instr_growth()) return 1;
    for (const std::string prefix : {sdr_bench::WARM_UP, ""})
      for (int w : {1000, 8000}) {
        const DOC* d = find_doc(w == 8000 ? "attr" : "w1000");
        for (const INSTR_ROW& r : INSTR_ROWS)
          sdr_bench::fixed_iterations(
              benchmark::RegisterBenchmark((prefix + "growth/" + r.key + "/" + std::to_string(w)).c_str(),
                                           r.fn, d)
                  ->UseRealTime()
                  ->Unit(benchmark::kMillisecond),
              prefix.empty() ? r.iterations : 1);
      }
    {
      sdr_bench::INSTR_DUMPS reporter;
      benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
      g_sessions.clear();
    }
    benchmark::Shutdown();
    XMLPlatformUtils::Terminate();
    return 0;
  }
  auto t0 = std::chrono::steady_clock::now();
  bool ok = generate("attr", sdr_bench::make_attribute_session(sdr_bench::ATTRIBUTE_SHAPE())) &&
            generate("log", sdr_bench::make_log_session(sdr_bench::LOG_SHAPE()));
  for (int w : GROWTH_WIRES)
    if (ok && w != 8000)
      ok = generate("w" + std::to_string(w), sdr_bench::make_attribute_session(sdr_bench::growth_shape(w)));
  if (!ok) return 1;
  std::printf("generated %zu documents in %s in %.2f s\n", g_docs.size(), g_data_dir.c_str(),
              seconds_since(t0));

  XMLPlatformUtils::Initialize();
  bool identical = check_round_trip();
  {
    for (const char* key : {"attr", "log"}) {
      const DOC* d = find_doc(key);
      std::string k = key;
      add("load/sdr/" + k, bm_load_sdr, d);
      add("load/xerces/" + k, bm_load_xerces, d);
#if SDR_BENCH_HAVE_PUGIXML
      add("load/pugixml/" + k, bm_load_pugixml, d);
#endif
      add("save/sdr/" + k, bm_save_sdr, d);
      add("save/sdr_noflush/" + k, bm_save_sdr_noflush, d);
      add("save/sdr_tmpfs/" + k, bm_save_sdr_tmpfs, d);
      add("save/sdr_string/" + k, bm_save_sdr_string, d);
      add("save/xerces_ls/" + k, bm_save_xerces_ls, d);
#if SDR_BENCH_HAVE_PUGIXML
      add("save/pugixml/" + k, bm_save_pugixml, d);
      add("save/pugixml_durable/" + k, bm_save_pugixml_durable, d);
#endif
    }
    add("log/get_bit", bm_log_get_bit, find_doc("log"));
    add("log/read_all", bm_log_read_all, find_doc("log"));
    for (int w : GROWTH_WIRES) {
      const DOC* d = find_doc(w == 8000 ? "attr" : "w" + std::to_string(w));
      std::string n = std::to_string(w);
      add("growth/load_sdr/" + n, bm_load_sdr, d);
      add("growth/load_xerces/" + n, bm_load_xerces, d);
      add("growth/save_sdr/" + n, bm_save_sdr, d);
      add("growth/conditions_read/" + n, bm_conditions_read, d);
      add("growth/condition_text/" + n, bm_condition_text, d);
    }
    CAPTURE reporter;
    benchmark::SDR_BENCH_JOIN(RunSp, ecifiedBenchmarks)(&reporter);
    g_sessions.clear();
#if SDR_BENCH_HAVE_PUGIXML
    g_pugi_docs.clear();
#endif
    print_table(reporter, peak_runs);
  }
  if (!identical) std::printf("a generated document did not come back byte for byte: see above\n");
  benchmark::Shutdown();
  XMLPlatformUtils::Terminate();
  return identical ? 0 : 1;
}
