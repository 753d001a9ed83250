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
#include "sdr_data_xml_util.h"

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

// s, n times over.
inline std::string repeat(const std::string& s, size_t n) {
  std::string out;
  out.reserve(s.size() * n);
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

// The bytes of a literal, NULs included.
template <size_t N>
std::string bytes_of(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// A node as the writer puts it, without the line break before an element.
inline std::string xml_text(const xercesc::DOMNode* node) {
  std::string out;
  if (!SDR_DATA_XML_WRITER::write(node, &out)) return "(not written)";
  return !out.empty() && out[0] == '\n' ? out.substr(1) : out;
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
