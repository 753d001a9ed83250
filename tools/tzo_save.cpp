// Writing sessions in the settled layout.
//
// Loading a session tidies its document: "global_info" moves to the end of
// the root, a missing "display_tree" is appended after it, each instance's
// "position_info" is rebuilt at its end and missing defaults are written.
// A session built in memory, or a file that lacks some of these parts,
// therefore reads back different from what was saved, and a file without
// "display_tree" takes two loads to settle. What tzo writes is settled
// first: saved to a hidden scratch file, loaded and saved again until the
// bytes stop changing. The target is written once, at the end.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "path_util.h"
#include "sdr_data_session.h"
#include "tzo_cli.h"

namespace tzo {
namespace {

// Loads and saves after the first save; a layout that still changes after
// that many is written as the last round left it.
const int MAX_SETTLE_ROUNDS = 3;

// An empty scratch file ".tzo-XXXXXX" in a directory, removed again with
// the object.
class SCRATCH_FILE {
 public:
  SCRATCH_FILE() = default;
  ~SCRATCH_FILE() {
    if (!m_path.empty()) unlink(m_path.c_str());
  }
  SCRATCH_FILE(const SCRATCH_FILE&) = delete;
  SCRATCH_FILE& operator=(const SCRATCH_FILE&) = delete;

  bool make(const std::string& directory) {
    std::string pattern = directory + "/.tzo-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) return false;
    close(fd);
    m_path = name.data();
    return true;
  }
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

std::string temp_directory() {
  const char* dir = std::getenv("TMPDIR");
  return dir && *dir ? dir : "/tmp";
}

bool has_error(const std::vector<MSG_OBJECT>& messages) {
  for (const MSG_OBJECT& m : messages)
    if (m.is_error()) return true;
  return false;
}

// The name of the programming file as the session holds it (absolute once
// loaded), or nothing.
struct PROGRAMMING_FILE {
  explicit PROGRAMMING_FILE(const SDR_DATA_SESSION& session) {
    const char* name = session.get_bix_file_name();
    present = name != nullptr;
    if (present) path = name;
  }
  // Puts the name back on a session loaded from elsewhere.
  void restore(SDR_DATA_SESSION& session) const {
    if (present) session.set_bix_file_name(path.c_str());
  }
  bool present = false;
  std::string path;
};

// The bytes session is written with at target: saving stores the
// programming file relative to the file's directory. Leaves the session
// holding the programming file's name as bix has it.
bool render_for(SDR_DATA_SESSION& session, const PROGRAMMING_FILE& bix, const std::string& target,
                std::string* bytes) {
  std::string relative;
  if (bix.present && !bix.path.empty())
    relative = PATH_UTIL::relative_to(bix.path, PATH_UTIL::full_directory(PATH_UTIL::make_absolute(target)));
  if (bix.present) session.set_bix_file_name(relative.c_str());
  bool ok = session.write_to_string(bytes);
  bix.restore(session);
  return ok;
}

}  // namespace

SETTLED::SETTLED() = default;
SETTLED::~SETTLED() = default;

bool settle(SDR_DATA_SESSION& session, const std::string& target, SETTLED* settled) {
  settled->session.reset();
  settled->bytes.clear();
  // Beside the target where possible; the programming file's name is put
  // back at the end, so the layout does not depend on where this lies.
  SCRATCH_FILE scratch;
  if (!scratch.make(directory_of(target)) && !scratch.make(temp_directory())) {
    report(target, "cannot create a scratch file to settle the layout in; nothing written");
    return false;
  }
  const PROGRAMMING_FILE bix(session);
  std::string previous;
  bool saved = session.save_as(scratch.path().c_str(), true, true) && read_bytes(scratch.path(), &previous);
  report_messages(target, take_posted_messages());
  if (!saved) {
    report(target, "cannot write a scratch file to settle the layout in; nothing written");
    return false;
  }

  std::unique_ptr<SDR_DATA_SESSION> current;
  for (int round = 0; round < MAX_SETTLE_ROUNDS; ++round) {
    current.reset(new SDR_DATA_SESSION(scratch.path().c_str()));
    // Warnings of the content were reported when it was read in; an error
    // means the library cannot read back what it wrote.
    std::vector<MSG_OBJECT> posted = take_posted_messages();
    if (has_error(posted) || !current->get_name()) {
      report_messages(target, posted);
      report(target, "the saved content does not load back without errors; nothing written");
      return false;
    }
    std::string now;
    saved = current->save_as(scratch.path().c_str(), true, true) && read_bytes(scratch.path(), &now);
    report_messages(target, take_posted_messages());
    if (!saved) {
      report(target, "cannot write a scratch file to settle the layout in; nothing written");
      return false;
    }
    const bool same = now == previous;
    previous.swap(now);
    if (same) break;
  }

  if (!render_for(*current, bix, target, &settled->bytes)) {
    report_messages(target, take_posted_messages());
    report(target, "cannot build the settled content; nothing written");
    return false;
  }
  settled->session = std::move(current);
  return true;
}

bool write_settled(SETTLED& settled, const std::string& target) {
  bool ok = settled.session && settled.session->save_as(target.c_str(), true, true);
  report_messages(target, take_posted_messages());
  if (!ok) report(target, "cannot write the file");
  return ok;
}

bool save_settled(SDR_DATA_SESSION& session, const std::string& target) {
  // Nothing to settle for a target that cannot take the file.
  struct stat st;
  if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    report(target, "cannot write the file");
    return false;
  }
  SETTLED settled;
  return settle(session, target, &settled) && write_settled(settled, target);
}

}  // namespace tzo
