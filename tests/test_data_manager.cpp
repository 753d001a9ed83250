#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "msg_service.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"

namespace fs = std::filesystem;

#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

std::string make_session_file(const TEMP_DIR& dir, const std::string& name) {
  std::string path = dir / name;
  std::ofstream(path, std::ios::binary) << "<session/>";
  return path;
}

SDR_DATA_MANAGER* manager() {
  return SDR_DATA_MANAGER::get_data_repository_manager();
}

time_t g_fake_now = 0;
time_t fake_clock() {
  return g_fake_now;
}

std::string stamp(time_t t) {
  struct tm local;
  char buf[64] = "";
  if (localtime_r(&t, &local)) strftime(buf, sizeof buf, "%Y/%m/%d %H:%M:%S", &local);
  return buf;
}

std::string auto_name(const char* prefix) {
  std::unique_ptr<STL_STRING> name(SDR_DATA_MANAGER::name_auto_gen(prefix));
  return name ? *name : std::string("(null)");
}

}  // namespace

TEST(DataManager, OpenCountsOpenersAndCloseDestroysAtZero) {
  TEMP_DIR dir;
  std::string path = make_session_file(dir, "design.tzo");
  SDR_DATA_MANAGER* m = manager();
  int before = m->get_num_sessions();

  SDR_DATA_SESSION* first = m->open_session(path.c_str());
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first->get_name(), path.c_str());
  EXPECT_EQ(m->open_session(path.c_str()), first);
  EXPECT_EQ(first->get_open_ref(), 2);
  EXPECT_EQ(m->get_num_sessions(), before + 1);

  EXPECT_TRUE(m->close_session(path.c_str()));
  EXPECT_EQ(m->get_session_opened(path.c_str()), first);
  EXPECT_EQ(first->get_global_data("x"), -1);  // still usable
  EXPECT_TRUE(m->close_session(path.c_str()));
  EXPECT_FALSE(m->is_session_opened(path.c_str()));
  EXPECT_FALSE(m->close_session(path.c_str()));
  EXPECT_EQ(m->get_num_sessions(), before);
}

TEST(DataManager, MissingOrBrokenFileIsNotRegistered) {
  TEMP_DIR dir;
  SDR_DATA_MANAGER* m = manager();
  std::string missing = dir / "missing.tzo";
  EXPECT_EQ(m->open_session(missing.c_str()), nullptr);
  EXPECT_FALSE(m->is_session_opened(missing.c_str()));
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 0);
  EXPECT_EQ(m->open_independent_session(missing.c_str()), nullptr);

  std::string broken = dir / "broken.tzo";
  std::ofstream(broken) << "<session>";
  EXPECT_EQ(m->open_session(broken.c_str()), nullptr);
  EXPECT_FALSE(m->is_session_opened(broken.c_str()));
  EXPECT_EQ(MSG_REPORT::get_default_report()->get_num_posted(), 1);
}

TEST(DataManager, RelativeAndAbsolutePathsFindTheSameSession) {
  TEMP_DIR dir;
  std::string path = make_session_file(dir, "design.tzo");
  char saved[PATH_MAX];
  ASSERT_NE(getcwd(saved, sizeof saved), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);

  SDR_DATA_MANAGER* m = manager();
  SDR_DATA_SESSION* s = m->open_session("design.tzo");
  EXPECT_NE(s, nullptr);
  EXPECT_EQ(m->get_session_opened(path.c_str()), s);
  EXPECT_EQ(m->get_session_opened("./sub/../design.tzo"), s);
  EXPECT_EQ(m->open_session(path.c_str()), s);
  EXPECT_TRUE(m->close_session(path.c_str()));
  EXPECT_TRUE(m->close_session("design.tzo"));
  EXPECT_FALSE(m->is_session_opened("design.tzo"));

  ASSERT_EQ(chdir(saved), 0);
}

TEST(DataManager, IndependentSessionsAreNotRegistered) {
  TEMP_DIR dir;
  std::string path = make_session_file(dir, "design.tzo");
  SDR_DATA_MANAGER* m = manager();

  SDR_DATA_SESSION* independent = m->open_independent_session(path.c_str());
  ASSERT_NE(independent, nullptr);
  EXPECT_FALSE(m->is_session_opened(path.c_str()));
  SDR_DATA_SESSION* registered = m->open_session(path.c_str());
  ASSERT_NE(registered, nullptr);
  EXPECT_NE(registered, independent);
  SDR_DATA_SESSION* other = m->open_independent_session(path.c_str());
  EXPECT_NE(other, independent);
  EXPECT_NE(other, registered);

  EXPECT_TRUE(m->close_independent_session(independent));
  EXPECT_TRUE(m->close_independent_session(other));
  EXPECT_FALSE(m->close_independent_session(nullptr));
  EXPECT_EQ(m->get_session_opened(path.c_str()), registered);
  EXPECT_TRUE(m->close_session(path.c_str()));
}

TEST(DataManager, CreateSessionAddsStarToName) {
  SDR_DATA_MANAGER* m = manager();
  SDR_DATA_SESSION* s = m->create_session("a");
  ASSERT_NE(s, nullptr);
  EXPECT_STREQ(s->get_name(), "a*");
  EXPECT_EQ(s->get_open_ref(), 1);
  EXPECT_FALSE(m->is_session_opened("a"));
  EXPECT_EQ(m->get_session_opened("a*"), s);
  SDR_DATA_SESSION* twin = m->create_session("a");
  EXPECT_NE(twin, s);
  // The first registered one is found and closed first.
  EXPECT_TRUE(m->close_session("a*"));
  EXPECT_EQ(m->get_session_opened("a*"), twin);
  EXPECT_TRUE(m->close_session("a*"));
  EXPECT_FALSE(m->close_session("a*"));
}

TEST(DataManager, NameAutoGenCountsWithinOneSecond) {
  SDR_DATA_MANAGER::set_name_clock(fake_clock);
  const time_t t = 1109912767;
  g_fake_now = t - 10;
  auto_name("warm-up");  // leaves whatever state earlier names left behind

  g_fake_now = t;
  EXPECT_EQ(auto_name("log"), "log: " + stamp(t) + "  #0");
  EXPECT_EQ(auto_name("signal set"), "signal set: " + stamp(t) + "  #1");
  EXPECT_EQ(auto_name("trigger"), "trigger: " + stamp(t) + "  #2");
  g_fake_now = t + 1;
  EXPECT_EQ(auto_name(nullptr), "generic: " + stamp(t + 1) + "  #0");

  // The counter is 16 bits wide and wraps within one busy second.
  for (int i = 1; i < 65536; ++i) delete SDR_DATA_MANAGER::name_auto_gen("x");
  EXPECT_EQ(auto_name("log"), "log: " + stamp(t + 1) + "  #0");
  SDR_DATA_MANAGER::set_name_clock(nullptr);
}

TEST(DataManager, DeletingWritesRecoveryFilesAndAllowsANewManager) {
  TEMP_DIR dir;
  std::string dotted = make_session_file(dir, "a.b.tzo");
  std::string lone = make_session_file(dir, "lone.tzo");
  SDR_DATA_MANAGER* m = manager();
  SDR_DATA_SESSION* opened = m->open_session(dotted.c_str());
  ASSERT_NE(opened, nullptr);
  m->open_session(dotted.c_str());  // a count above one does not keep it alive
  opened->set_global_data("g", 3, false);
  ASSERT_NE(m->create_session((dir / "untitled.tzo").c_str()), nullptr);
  ASSERT_NE(m->create_session((dir / "untitled").c_str()), nullptr);
  SDR_DATA_SESSION* independent = m->open_independent_session(lone.c_str());
  ASSERT_NE(independent, nullptr);
  // One that cannot be written is reported with its path.
  fs::create_directories(dir / "gone");
  ASSERT_NE(m->create_session((dir / "gone/new.tzo").c_str()), nullptr);
  fs::remove(dir / "gone");
  MSG_INTERNAL_ERROR::clear_reports();

  delete m;

  EXPECT_EQ(read_bytes(dir / "a_recovered.b.tzo"),
            "<session bix_file=\"\">\n  <display_tree/>\n  <global_info>\n"
            "    <single attribute=\"g\" value=\"3\"/>\n  </global_info>\n</session>\n");
  EXPECT_EQ(read_bytes(dotted), "<session/>");
  const std::string fresh = "<session bix_file=\"\">\n  <display_tree/>\n  <global_info/>\n</session>\n";
  EXPECT_EQ(read_bytes(dir / "untitled_tmp_recovered.tzo"), fresh);
  EXPECT_EQ(read_bytes(dir / "untitled_tmp_recovered"), fresh);
  EXPECT_FALSE(fs::exists(dir / "lone_recovered.tzo"));
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 1);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_expression_at(0),
            "recovery file written: " + (dir / "gone/new_tmp_recovered.tzo"));
  MSG_INTERNAL_ERROR::clear_reports();

  SDR_DATA_MANAGER* next = manager();
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(next->get_num_sessions(), 0);
  EXPECT_FALSE(next->is_session_opened(dotted.c_str()));
  SDR_DATA_SESSION* again = next->open_session(dotted.c_str());
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(next->get_session_opened(dotted.c_str()), again);
  EXPECT_TRUE(next->close_session(dotted.c_str()));
  EXPECT_TRUE(next->close_independent_session(independent));
}
