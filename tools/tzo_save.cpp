// Writing sessions in the settled layout.
//
// Loading a session tidies its document: "global_info" moves to the end of
// the root, a missing "display_tree" is put before it, each instance's
// "position_info" is rebuilt at its end and missing defaults are written.
// Saving a loaded session is stable: loading what was written and saving
// again gives the same bytes. A session built in memory is not yet in that
// layout, so it is saved to a hidden scratch file and loaded once before
// it is written; a loaded session is written as it is. The target is
// written once, at the end.

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

bool settle(SDR_DATA_SESSION& session, const std::string& target, SETTLED* settled, bool loaded) {
  settled->session.reset();
  settled->use = nullptr;
  settled->bytes.clear();
  if (loaded) {
    // Already in the stable layout: written as it is.
    if (!render_for(session, PROGRAMMING_FILE(session), target, &settled->bytes)) {
      report_messages(target, take_posted_messages());
      report(target, "cannot build the settled content; nothing written");
      return false;
    }
    settled->use = &session;
    return true;
  }
  // Beside the target where possible; the programming file's name is put
  // back at the end, so the layout does not depend on where this lies.
  SCRATCH_FILE scratch;
  if (!scratch.make(directory_of(target)) && !scratch.make(temp_directory())) {
    report(target, "cannot create a scratch file to settle the layout in; nothing written");
    return false;
  }
  const PROGRAMMING_FILE bix(session);
  bool saved = session.save_as(scratch.path().c_str(), true, true);
  report_messages(target, take_posted_messages());
  if (!saved) {
    report(target, "cannot write a scratch file to settle the layout in; nothing written");
    return false;
  }

  std::unique_ptr<SDR_DATA_SESSION> current(new SDR_DATA_SESSION(scratch.path().c_str()));
  // Warnings of the content were reported when it was read in; an error
  // means the library cannot read back what it wrote.
  std::vector<MSG_OBJECT> posted = take_posted_messages();
  if (has_error(posted) || !current->get_name()) {
    report_messages(target, posted);
    report(target, "the saved content does not load back without errors; nothing written");
    return false;
  }

  if (!render_for(*current, bix, target, &settled->bytes)) {
    report_messages(target, take_posted_messages());
    report(target, "cannot build the settled content; nothing written");
    return false;
  }
  settled->session = std::move(current);
  settled->use = settled->session.get();
  return true;
}

bool write_settled(SETTLED& settled, const std::string& target) {
  bool ok = settled.use && settled.use->save_as(target.c_str(), true, true);
  report_messages(target, take_posted_messages());
  if (!ok) report(target, "cannot write the file");
  return ok;
}

bool save_settled(SDR_DATA_SESSION& session, const std::string& target, bool loaded) {
  // Nothing to settle for a target that cannot take the file.
  struct stat st;
  if (stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    report(target, "cannot write the file");
    return false;
  }
  SETTLED settled;
  return settle(session, target, &settled, loaded) && write_settled(settled, target);
}

}  // namespace tzo
