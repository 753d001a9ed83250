#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "cfg_service.h"
#include "msg_service.h"
#include "path_util.h"
#include "platform_mutex.h"

namespace fs = std::filesystem;

TEST(MsgService, TextAndIdSplitAtLastSlash) {
  MSG_WARNING w(7, "read a/b/c failed/WSOME_ID");
  EXPECT_STREQ(w.get_raw_text(), "read a/b/c failed");
  EXPECT_STREQ(w.get_id(), "WSOME_ID");
  MSG_ERROR e(1, "no id here");
  EXPECT_STREQ(e.get_text(), "no id here");
  EXPECT_STREQ(e.get_id(), "");
}

TEST(MsgService, Placeholders) {
  MSG_WARNING m(3, "%2!s! then %1!d!, again %2!s!; %1!5.2ld! <%3!s!>/ID");
  m.add_arg(-42);
  m.add_arg("two");
  EXPECT_STREQ(m.get_text(), "two then -42, again two; -42 <%3!s!>");
  m.add_arg("%1!s!");  // substituted texts are not expanded again
  EXPECT_STREQ(m.get_text(), "two then -42, again two; -42 <%1!s!>");
  EXPECT_EQ(m.get_arg_at(3), nullptr);
  EXPECT_EQ(m.get_arg_at(-1), nullptr);

  for (const char* text : {"%0!s!", "%!s!", "%1s!", "%1!!", "%1!s", "%1!", "%1", "100%", "%%", "%1!?!",
                           "%99999999999999999999!s!"}) {
    MSG_WARNING odd(3, (std::string(text) + "/ID").c_str());
    odd.add_arg("A");
    EXPECT_STREQ(odd.get_text(), text);
  }
}

TEST(MsgService, ReportListenerMayPostAndReplaceItself) {
  MSG_REPORT* report = MSG_REPORT::get_default_report();
  int calls = 0;
  MSG_REPORT::LISTENER saved = report->set_listener([report, &calls](const MSG_OBJECT& m) {
    ++calls;
    EXPECT_TRUE(static_cast<bool>(report->set_listener(nullptr)));
    MSG_WARNING echo(m.get_code(), "echo/ID");
    report->post(&echo);
  });
  {
    MSG_WARNING m(9, "first %1!s!/ID");
    m.add_arg("x");
    report->post(&m);
  }
  report->set_listener(saved);
  EXPECT_EQ(calls, 1);
  ASSERT_EQ(report->get_num_posted(), 2);
  EXPECT_STREQ(report->get_posted_at(0)->get_text(), "first x");
  EXPECT_STREQ(report->get_posted_at(1)->get_text(), "echo");
  EXPECT_EQ(report->get_posted_at(2), nullptr);
  report->clear_posted();
  EXPECT_EQ(report->get_num_posted(), 0);
}

TEST(MsgService, InternalErrorsAndDebugTrace) {
  cfg_set_value("sdr_debug", "off");
  testing::internal::CaptureStderr();
  MSG_INTERNAL_ERROR::report("ret != NULL", "SDR", "sdr_data_manager.cpp", 120);
  msg_local_vdebug("SDR", "hidden %d", 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  cfg_set_value("sdr_debug", "on");
  testing::internal::CaptureStderr();
  MSG_INTERNAL_ERROR::report(nullptr, nullptr, nullptr, 7);
  msg_local_vdebug("SDR", "value %d of %s", 42, "x");
  const std::string out = testing::internal::GetCapturedStderr();
  cfg_set_value("sdr_debug", nullptr);
  EXPECT_NE(out.find("SDR: value 42 of x\n"), std::string::npos);

  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 2);
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(0), "ret != NULL");
  EXPECT_STREQ(MSG_INTERNAL_ERROR::get_file_at(0), "sdr_data_manager.cpp");
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_line_at(1), 7);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_expression_at(2), nullptr);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_line_at(-1), -1);
}

TEST(CfgService, SetValueWinsOverEnvironmentOverDefault) {
  const char* key = "sdr_test_cfg_precedence";
  unsetenv(key);
  EXPECT_EQ(cfg_get_value(key, "dflt"), "dflt");
  setenv(key, "yes", 1);
  EXPECT_EQ(cfg_get_value(key, "dflt"), "yes");
  EXPECT_TRUE(cfg_is_on(key, false));
  cfg_set_value(key, "off");
  EXPECT_FALSE(cfg_is_on(key, true));
  cfg_set_value(key, nullptr);
  EXPECT_EQ(cfg_get_value(key, "dflt"), "yes");
  unsetenv(key);
  EXPECT_TRUE(cfg_is_on(key, true));
}

TEST(CfgService, OnOffWordsAndIntegers) {
  const char* key = "sdr_test_cfg_value";
  for (const char* on : {"on", "ON", "1", "True", "yEs"}) {
    cfg_set_value(key, on);
    EXPECT_TRUE(cfg_is_on(key, false)) << on;
  }
  for (const char* off : {"off", "0", "", "onn", " on"}) {
    cfg_set_value(key, off);
    EXPECT_FALSE(cfg_is_on(key, true)) << off;
  }
  cfg_set_value(key, "+7");
  EXPECT_EQ(cfg_get_int(key, -1), 7);
  cfg_set_value(key, "-2147483648");
  EXPECT_EQ(cfg_get_int(key, -1), INT_MIN);
  for (const char* bad : {"2147483648", "99999999999999999999", "", "-", " 5", "5 ", "12a", "0x10"}) {
    cfg_set_value(key, bad);
    EXPECT_EQ(cfg_get_int(key, -1), -1) << '"' << bad << '"';
  }
  cfg_set_value(key, nullptr);
}

TEST(CfgService, GenerationRefreshesCachedSwitches) {
  const char* key = "sdr_test_cfg_cached";
  CFG_CACHED_SWITCH sw(key, false);
  EXPECT_FALSE(sw.get());
  cfg_set_value(key, "on");
  EXPECT_TRUE(sw.get());
  // The environment is read again only after the caches are reset.
  cfg_set_value(key, nullptr);
  setenv(key, "on", 1);
  EXPECT_TRUE(sw.get());
  setenv(key, "off", 1);
  EXPECT_TRUE(sw.get());
  cfg_reset_caches();
  EXPECT_FALSE(sw.get());
  unsetenv(key);
}

TEST(PathUtil, LexicalOperations) {
  EXPECT_EQ(PATH_UTIL::simplify(""), "");
  EXPECT_EQ(PATH_UTIL::simplify("/"), "/");
  EXPECT_EQ(PATH_UTIL::simplify("/a//b/./c/../d/"), "/a/b/d");
  EXPECT_EQ(PATH_UTIL::simplify("a/../../b"), "../b");

  const std::string cwd = PATH_UTIL::current_directory();
  ASSERT_TRUE(PATH_UTIL::is_absolute(cwd));
  EXPECT_EQ(PATH_UTIL::make_absolute("../d.tzo", "/a/b/"), "/a/d.tzo");
  EXPECT_EQ(PATH_UTIL::make_absolute("f.tzo"), PATH_UTIL::simplify(cwd + "/f.tzo"));
  EXPECT_EQ(PATH_UTIL::full_directory("/a/b/c.tzo"), "/a/b");
  EXPECT_EQ(PATH_UTIL::full_directory("/c.tzo"), "/");

  EXPECT_EQ(PATH_UTIL::relative_to("/a/x/y.bix", "/a/c"), "../x/y.bix");
  EXPECT_EQ(PATH_UTIL::relative_to("/a/c/y.bix", "/a/c/"), "y.bix");
  EXPECT_EQ(PATH_UTIL::relative_to("sub/f.bix", cwd), "sub/f.bix");
  EXPECT_EQ(PATH_UTIL::relative_to("", "/a"), "");

  EXPECT_EQ(PATH_UTIL::join("/a/b/", "c.tzo"), "/a/b/c.tzo");
  EXPECT_EQ(PATH_UTIL::join("/a/b", "/abs/c.tzo"), "/abs/c.tzo");
  EXPECT_EQ(PATH_UTIL::join("", "c.tzo"), "c.tzo");
}

TEST(PathUtil, SameFileAndExists) {
  const fs::path dir = fs::temp_directory_path() / ("sdr_path_util_" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir / "sub");
  const std::string file = (dir / "f.tzo").generic_string();
  std::ofstream(file) << "x";

  EXPECT_TRUE(PATH_UTIL::exists(file));
  EXPECT_FALSE(PATH_UTIL::exists((dir / "missing").generic_string()));
  EXPECT_FALSE(PATH_UTIL::exists(""));

  const std::string rel = PATH_UTIL::relative_to(file, PATH_UTIL::current_directory());
  EXPECT_FALSE(PATH_UTIL::is_absolute(rel));
  EXPECT_TRUE(PATH_UTIL::same_file(rel, file));
  EXPECT_TRUE(PATH_UTIL::same_file((dir / "sub/../f.tzo").generic_string(), file));
  EXPECT_FALSE(PATH_UTIL::same_file((dir / "sub/f.tzo").generic_string(), file));
  EXPECT_TRUE(PATH_UTIL::same_file("/no/such/x.tzo", "/no/such/./x.tzo"));
  std::error_code ec;
  fs::create_symlink(file, dir / "link.tzo", ec);
  if (!ec) {
    EXPECT_TRUE(PATH_UTIL::same_file((dir / "link.tzo").generic_string(), file));
  }
  fs::remove_all(dir);
}

TEST(Mutex, SerialisesThreadsAndSurvivesDestroy) {
  EXPECT_EQ(&PLATFORM_MUTEX::writer_mutex(), &PLATFORM_MUTEX::writer_mutex());
  PLATFORM_MUTEX m;
  long counter = 0;
  auto work = [&m, &counter] {
    for (int i = 0; i < 20000; ++i) {
      m.lock();
      ++counter;
      m.unlock();
    }
  };
  std::thread t1(work);
  std::thread t2(work);
  t1.join();
  t2.join();
  EXPECT_EQ(counter, 40000);
  m.destroy();
  m.lock();  // a destroyed lock is made again on use
  m.unlock();
}
