#include "sdr_data_xml_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "cfg_service.h"
#include "sdr_data_xml_util.h"

namespace {

// Follows symbolic links to the file that is finally named.
std::string resolve_links(const std::string& path) {
  std::string cur = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st;
    if (lstat(cur.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return cur;
    std::vector<char> buf(PATH_MAX + 1);
    ssize_t len = readlink(cur.c_str(), buf.data(), PATH_MAX);
    if (len <= 0) return cur;
    std::string target(buf.data(), static_cast<size_t>(len));
    if (target[0] != '/') {
      size_t slash = cur.rfind('/');
      if (slash != std::string::npos) target = cur.substr(0, slash + 1) + target;
    }
    cur = target;
  }
  return cur;
}

std::string directory_of(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// "sdr_save_flush", default on.
bool save_flush_switch() {
  return cfg_is_on("sdr_save_flush", true);
}

}  // namespace

void sdr_set_error(std::string* error, const std::string& text) {
  if (error) *error = text;
}

bool SDR_TEMP_TARGET::open(const char* path, std::string* error) {
  if (!path || !*path) {
    sdr_set_error(error, "no file name");
    return false;
  }
  m_flush = save_flush_switch();
  m_target = resolve_links(path);
  m_existed = stat(m_target.c_str(), &m_stat) == 0;
  if (m_existed) {
    if (!S_ISREG(m_stat.st_mode)) {
      sdr_set_error(
          error, S_ISDIR(m_stat.st_mode) ? "the target is a directory" : "the target is not a regular file");
      return false;
    }
    if (access(m_target.c_str(), W_OK) != 0) {
      sdr_set_error(error, std::strerror(errno));
      return false;
    }
    m_mode = m_stat.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    m_mode = 0666 & ~mask;
  }
  m_dir = directory_of(m_target);
  size_t slash = m_target.rfind('/');
  std::string base = slash == std::string::npos ? m_target : m_target.substr(slash + 1);
  std::string tmp = m_dir + "/." + base + ".tmpXXXXXX";
  std::vector<char> tmpl(tmp.begin(), tmp.end());
  tmpl.push_back('\0');
  m_fd = mkostemp(tmpl.data(), O_CLOEXEC);
  if (m_fd < 0) {
    sdr_set_error(error, std::strerror(errno));
    return false;
  }
  m_tmp = tmpl.data();
  return true;
}

int SDR_TEMP_TARGET::write_all(const char* p, size_t left) {
  while (left > 0) {
    ssize_t w = ::write(m_fd, p, left);
    if (w < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (w == 0) return ENOSPC;
    p += w;
    left -= static_cast<size_t>(w);
  }
  return 0;
}

bool SDR_TEMP_TARGET::commit(std::string* error) {
  int err = 0;
  if (fchmod(m_fd, m_mode) != 0) err = errno;
  if (!err && m_existed && geteuid() == 0) {
    if (fchown(m_fd, m_stat.st_uid, m_stat.st_gid) != 0) { /* keep our own ownership */
    }
  }
  if (!err && m_flush && fsync(m_fd) != 0) err = errno;
  if (close(m_fd) != 0 && !err) err = errno;
  m_fd = -1;
  // Replacing a large file makes the rename free its blocks, about a
  // third of a millisecond per megabyte; the library starts no thread to
  // hide that, so the caller pays it here.
  if (!err && rename(m_tmp.c_str(), m_target.c_str()) != 0) err = errno;
  if (err) {
    fail(err, error);
    return false;
  }
  m_tmp.clear();
  int dfd = m_flush ? ::open(m_dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
  if (dfd >= 0) {
    (void)fsync(dfd);
    close(dfd);
  }
  return true;
}

void SDR_TEMP_TARGET::fail(int err, std::string* error) {
  discard();
  sdr_set_error(error, std::strerror(err));
}

void SDR_TEMP_TARGET::discard() {
  if (m_fd >= 0) close(m_fd);
  m_fd = -1;
  if (!m_tmp.empty()) unlink(m_tmp.c_str());
  m_tmp.clear();
}

bool SDR_DATA_XML_WRITER::is_writable_target(const char* path) {
  if (!path || !*path) return false;
  std::string target = resolve_links(path);
  struct stat st;
  if (stat(target.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return false;
    if (access(target.c_str(), W_OK) != 0) return false;
  }
  std::string dir = directory_of(target);
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && access(dir.c_str(), W_OK | X_OK) == 0;
}

bool SDR_DATA_XML_WRITER::write_file_bytes(const std::string& bytes, const char* path, std::string* error) {
  SDR_TEMP_TARGET file;
  if (!file.open(path, error)) return false;
  if (int err = file.write_all(bytes.data(), bytes.size())) {
    file.fail(err, error);
    return false;
  }
  return file.commit(error);
}

bool SDR_DATA_XML_WRITER::write_file_streamed(const char* path,
                                              const std::function<bool(const BYTE_SINK& sink)>& fill,
                                              std::string* error) {
  SDR_TEMP_TARGET file;
  if (!file.open(path, error)) return false;
  int io_error = 0;
  const BYTE_SINK sink = [&](const char* data, size_t size) {
    if (!io_error) io_error = file.write_all(data, size);
    return io_error == 0;
  };
  const bool filled = fill(sink);
  if (io_error) {
    file.fail(io_error, error);
    return false;
  }
  if (!filled) {
    file.discard();
    return false;
  }
  return file.commit(error);
}
