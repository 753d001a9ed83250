// Saving never loses the old file: a full disk, a read-only file system or
// a kill -9 in the middle of a save leave it byte for byte.

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "cfg_service.h"
#include "sdr_data_session.h"
#include "test_util.h"

// Every thread started in this process passes here: the library must start
// none.
static std::atomic<int> g_threads_started{0};

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*),
                              void* arg) {
  using CREATE = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static CREATE next = reinterpret_cast<CREATE>(dlsym(RTLD_NEXT, "pthread_create"));
  g_threads_started.fetch_add(1);
  return next(thread, attr, start, arg);
}

namespace {

// A small tmpfs mounted over a scratch directory; tests that need one skip
// where mounting is not allowed.
class SMALL_FS {
 public:
  explicit SMALL_FS(const std::string& dir, const char* size) : m_dir(dir) {
    std::string options = std::string("size=") + size;
    m_mounted = mount("tmpfs", dir.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~SMALL_FS() {
    if (m_mounted) umount2(m_dir.c_str(), MNT_DETACH);
  }
  bool mounted() const { return m_mounted; }
  bool make_read_only() {
    return mount("tmpfs", m_dir.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }

 private:
  std::string m_dir;
  bool m_mounted = false;
};

// A session whose saved form is about `bytes` long.
void fill(SDR_DATA_SESSION* session, size_t bytes, char c) {
  session->set_jtag_chain_name(std::string(bytes, c).c_str());
}

bool only_the_target_is_left(const std::string& dir) {
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    (void)e;
    ++entries;
  }
  return entries == 1;
}

TEST(CrashSafeSave, FullDiskOrReadOnlyFileSystemKeepsTheOldFile) {
  for (bool read_only : {false, true}) {
    SCOPED_TRACE(read_only ? "read-only" : "full");
    sdr_test::TEMP_DIR dir;
    std::string mount_dir = dir / "fs";
    std::filesystem::create_directory(mount_dir);
    SMALL_FS fs(mount_dir, "64k");
    if (!fs.mounted()) {
      GTEST_SKIP() << "cannot mount a small file system here";
    }
    std::string target = mount_dir + "/design.tzo";
    sdr_test::write_bytes(target, "<session/>\n");
    if (read_only) {
      ASSERT_TRUE(fs.make_read_only());
    }
    SDR_DATA_SESSION session;
    fill(&session, 200 * 1024, 'x');
    EXPECT_FALSE(session.save_as(target.c_str(), true, false));
    EXPECT_EQ(sdr_test::read_bytes(target), "<session/>\n");
    EXPECT_EQ(session.get_name(), nullptr);
    EXPECT_TRUE(only_the_target_is_left(mount_dir));
  }
}

TEST(CrashSafeSave, KillNineInTheMiddleLeavesAWholeFile) {
  sdr_test::TEMP_DIR dir;
  std::string target = dir / "design.tzo";
  // Two complete versions of the file; the child saves them in turn.
  SDR_DATA_SESSION a;
  fill(&a, 4 << 20, 'a');
  SDR_DATA_SESSION b;
  fill(&b, 4 << 20, 'b');
  ASSERT_TRUE(a.save_as(target.c_str(), true, true));
  std::string bytes_a = sdr_test::read_bytes(target);
  ASSERT_TRUE(b.save_as(target.c_str(), true, true));
  std::string bytes_b = sdr_test::read_bytes(target);

  for (int round = 0; round < 4; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) {
        a.save_as(target.c_str(), true, true);
        b.save_as(target.c_str(), true, true);
      }
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30 + 37 * round));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    std::string now = sdr_test::read_bytes(target);
    EXPECT_TRUE(now == bytes_a || now == bytes_b) << "round " << round << ": " << now.size() << " bytes";
  }
  // A killed save may leave its temporary file, never a damaged target.
  SDR_DATA_SESSION reread(target.c_str());
  EXPECT_NE(reread.get_name(), nullptr);
}

// Replacing a large file, with the flush on and off: the target holds the
// new text, a second name of the old file still reads the old text, nothing
// else is left in the folder, and no thread was started.
TEST(CrashSafeSave, ReplacingALargeFileWithAndWithoutTheFlush) {
  const int threads_before = g_threads_started.load();
  for (const char* flush : {"1", "0"}) {
    SCOPED_TRACE(std::string("sdr_save_flush=") + flush);
    cfg_set_value("sdr_save_flush", flush);
    sdr_test::TEMP_DIR dir;
    std::string target = dir / "design.tzo";
    std::string other_name = dir / "old.tzo";
    SDR_DATA_SESSION a;
    fill(&a, 6 << 20, 'a');
    SDR_DATA_SESSION b;
    fill(&b, 6 << 20, 'b');
    ASSERT_TRUE(a.save_as(target.c_str(), true, true));
    std::string bytes_a = sdr_test::read_bytes(target);
    ASSERT_EQ(link(target.c_str(), other_name.c_str()), 0);
    ASSERT_TRUE(b.save_as(target.c_str(), true, true));
    std::string bytes_b = sdr_test::read_bytes(target);
    EXPECT_NE(bytes_a, bytes_b);
    EXPECT_EQ(bytes_b.size(), bytes_a.size());
    EXPECT_EQ(sdr_test::read_bytes(other_name), bytes_a);
    ASSERT_EQ(unlink(other_name.c_str()), 0);
    // Back and forth without a second name: the old file goes with the save.
    ASSERT_TRUE(a.save_as(target.c_str(), true, true));
    EXPECT_EQ(sdr_test::read_bytes(target), bytes_a);
    ASSERT_TRUE(b.save_as(target.c_str(), true, true));
    EXPECT_EQ(sdr_test::read_bytes(target), bytes_b);
    EXPECT_TRUE(only_the_target_is_left(dir.path()));
  }
  cfg_set_value("sdr_save_flush", nullptr);
  EXPECT_EQ(g_threads_started.load(), threads_before);
}

}  // namespace
