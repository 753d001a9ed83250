#ifndef SDR_TEST_UTIL_H
#define SDR_TEST_UTIL_H

// Helpers shared by the test suites.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "msg_service.h"

namespace sdr_test {

// A scratch directory, removed with its contents.
class TEMP_DIR {
 public:
  TEMP_DIR() {
    char name[] = "/tmp/sdrtestXXXXXX";
    m_path = mkdtemp(name) ? name : "";
  }
  ~TEMP_DIR() {
    std::error_code ec;
    if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
  }
  TEMP_DIR(const TEMP_DIR&) = delete;
  TEMP_DIR& operator=(const TEMP_DIR&) = delete;
  std::string operator/(const std::string& name) const { return m_path + "/" + name; }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

inline std::string read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_bytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string data_path(const std::string& relative) {
  return std::string(SDR_TEST_DATA_DIR) + "/" + relative;
}

// The IDs of the messages posted since the last clear, joined by blanks.
inline std::string posted_ids() {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  std::string ids;
  for (int i = 0; i < report->get_num_posted(); ++i) {
    if (!ids.empty()) ids += ' ';
    ids += report->get_posted_at(i)->get_id();
  }
  return ids;
}

}  // namespace sdr_test

#endif
