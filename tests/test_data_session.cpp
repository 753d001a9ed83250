#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "msg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"

namespace fs = std::filesystem;
using namespace xercesc;

#include "test_util.h"

using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

std::string data_path(const std::string& name) {
  return std::string(SDR_TEST_DATA_DIR) + "/session/" + name;
}

const char* const EMPTY_SAVED = "<session bix_file=\"\">\n  <display_tree/>\n  <global_info/>\n</session>\n";

MSG_REPORT* report() {
  return MSG_REPORT::get_default_report();
}

}  // namespace

// ------------------------------------------------------------ whole files

TEST(DataSessionFile, LoadThenSaveGivesExpectedBytes) {
  TEMP_DIR dir;
  for (const char* name : {"empty_session", "mixed_nodes", "data_text", "attributes", "global_info"}) {
    SCOPED_TRACE(name);
    report()->clear_posted();
    std::string in = data_path(std::string(name) + ".tzo");
    SDR_DATA_SESSION s(in.c_str());
    ASSERT_STREQ(s.get_name(), in.c_str());
    std::string out = dir / (std::string(name) + ".tzo");
    ASSERT_TRUE(s.save_as(out.c_str(), true, false));
    EXPECT_STREQ(s.get_name(), out.c_str());
    EXPECT_EQ(read_bytes(out), read_bytes(data_path(std::string(name) + ".expected.tzo")));
    EXPECT_EQ(report()->get_num_posted(), 0);

    // What was written loads again without complaint.
    SDR_DATA_SESSION again(out.c_str());
    EXPECT_STREQ(again.get_name(), out.c_str());
    EXPECT_EQ(report()->get_num_posted(), 0);
  }
}

// One load and save settles every fixture: loading the saved file and
// saving it again writes the same bytes.
TEST(DataSessionFile, OneLoadAndSaveIsStable) {
  TEMP_DIR dir;
  const std::string a = dir / "a.tzo";
  const std::string b = dir / "b.tzo";
  int checked = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SDR_TEST_DATA_DIR)) {
    if (entry.path().extension() != ".tzo") continue;
    SCOPED_TRACE(entry.path().string());
    SDR_DATA_SESSION first(entry.path().c_str());
    if (!first.get_name() || !first.save_as(a.c_str(), true, true)) continue;
    SDR_DATA_SESSION second(a.c_str());
    ASSERT_TRUE(second.save_as(b.c_str(), true, true));
    EXPECT_EQ(read_bytes(a), read_bytes(b));
    ++checked;
  }
  EXPECT_GT(checked, 10);
}

// The loader links the parsed nodes itself: every node must answer the
// DOM's own questions about its place as if the DOM had linked it.
TEST(DataSessionFile, LoadedTreeIsLinkedAsTheDomLinksIt) {
  int attributes = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(SDR_TEST_DATA_DIR)) {
    if (entry.path().extension() != ".tzo") continue;
    SCOPED_TRACE(entry.path().string());
    SDR_DATA_SESSION s(entry.path().c_str());
    if (!s.get_name()) continue;
    sdr_walk_elements(s.get_root_element(), [&](DOMElement* e) {
      for (DOMNode* child = e->getFirstChild(); child; child = child->getNextSibling())
        EXPECT_EQ(child->getParentNode(), e);
      DOMNamedNodeMap* map = e->getAttributes();
      for (XMLSize_t i = 0; map && i < map->getLength(); ++i) {
        DOMAttr* attr = static_cast<DOMAttr*>(map->item(i));
        EXPECT_EQ(attr->getOwnerElement(), e);
        EXPECT_EQ(e->getAttributeNode(attr->getName()), attr);
        ++attributes;
      }
      return false;
    });
  }
  EXPECT_GT(attributes, 100);
}

TEST(DataSessionFile, NewSessionLayoutAndRootAttributes) {
  SDR_DATA_SESSION s;
  EXPECT_EQ(s.get_name(), nullptr);
  EXPECT_EQ(s.get_bix_file_name(), nullptr);
  std::string text;
  ASSERT_TRUE(s.write_to_string(&text));
  EXPECT_EQ(text, "<session>\n  <display_tree/>\n  <global_info/>\n</session>\n");

  const SDR_DATA_SESSION loaded(data_path("mixed_nodes.tzo").c_str());
  EXPECT_STREQ(loaded.get_jtag_device_name(), "QX200");
}

TEST(DataSessionFile, FailuresToLoad) {
  TEMP_DIR dir;
  std::string fifo = dir / "pipe.tzo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct CASE {
    std::string path;
    const char* text;  // null: any text from the parser
  };
  const CASE cases[] = {
      {data_path("ill_formed.tzo"), nullptr},   {data_path("empty_file.tzo"), nullptr},
      {data_path("comment_only.tzo"), nullptr}, {dir.path(), "the path is a directory"},
      {fifo, "the path is not a regular file"},
  };
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.path);
    report()->clear_posted();
    SDR_DATA_SESSION s(c.path.c_str());
    EXPECT_EQ(s.get_name(), nullptr);
    ASSERT_EQ(report()->get_num_posted(), 1);
    const MSG_OBJECT* m = report()->get_posted_at(0);
    EXPECT_EQ(m->get_code(), ESDR_SOURCE_GENERIC);
    EXPECT_STREQ(m->get_id(), "ESDR_SOURCE_GENERIC");
    EXPECT_TRUE(m->is_error());
    ASSERT_EQ(m->get_num_args(), 2);
    EXPECT_EQ(std::string(m->get_arg_at(0)), c.path);
    if (c.text) {
      EXPECT_STREQ(m->get_arg_at(1), c.text);
    } else {
      EXPECT_STRNE(m->get_arg_at(1), "");
      EXPECT_STRNE(m->get_arg_at(1), "unexpected internal error");
    }
  }
  // The parser's own text names what went wrong, and where.
  report()->clear_posted();
  const std::string multi_line = dir / "multi_line.tzo";
  write_bytes(multi_line, "<session>\n  <instance name=\"a\">\n</session>\n");
  SDR_DATA_SESSION bad(multi_line.c_str());
  ASSERT_EQ(report()->get_num_posted(), 1);
  EXPECT_STREQ(report()->get_posted_at(0)->get_arg_at(1),
               "expected end of tag 'instance' (line 3, column 3)");

  report()->clear_posted();
  SDR_DATA_SESSION missing((dir / "missing.tzo").c_str());
  EXPECT_EQ(missing.get_name(), nullptr);
  EXPECT_EQ(report()->get_num_posted(), 0);
}

TEST(DataSessionFile, LegacyFirstLineInAnyCase) {
  TEMP_DIR dir;
  SDR_DATA_SESSION legacy(data_path("legacy.tzo").c_str());
  EXPECT_STREQ(legacy.get_name(), data_path("legacy.tzo").c_str());
  EXPECT_EQ(report()->get_num_posted(), 0);
  // Imported (what an import gives is TzoImport's): one instance.
  EXPECT_EQ(legacy.get_num_instances(), 1);

  // The marker counts only at the very start of the first line.
  std::string late = dir / "late.tzo";
  write_bytes(late, "\n[@\\TZO=1\n");
  SDR_DATA_SESSION not_legacy(late.c_str());
  EXPECT_EQ(not_legacy.get_name(), nullptr);
  EXPECT_EQ(report()->get_num_posted(), 1);
}

// ------------------------------------------------------------ global values

TEST(DataSessionGlobals, LoadedValues) {
  SDR_DATA_SESSION s(data_path("global_info.tzo").c_str());
  EXPECT_EQ(s.get_global_data("Alpha"), -3);
  EXPECT_EQ(s.get_global_data("beta"), 12);
  EXPECT_EQ(s.get_global_data("empty"), -1);
  EXPECT_EQ(s.get_global_data("never"), -1);
  int out[8] = {0};
  ASSERT_EQ(s.get_global_data("trio", out), 3);
  EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{1, 2, 3}));
  ASSERT_EQ(s.get_global_data("over", out), 3);
  EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{4, 5, 6}));
  out[0] = 99;
  EXPECT_EQ(s.get_global_data("novalue", out), -1);
  EXPECT_EQ(s.get_global_data("nosize", out), -1);
  EXPECT_EQ(out[0], 99);
}

TEST(DataSessionGlobals, FewerPiecesThanSize) {
  TEMP_DIR dir;
  std::string path = dir / "short.tzo";
  write_bytes(
      path,
      "<session><global_info><multi attribute=\"m\" size=\"4\" value=\"8,9\"/></global_info></session>");
  SDR_DATA_SESSION s(path.c_str());
  int out[4] = {0};
  ASSERT_EQ(s.get_global_data("m", out), 4);
  EXPECT_EQ(out[0], 8);
  EXPECT_EQ(out[1], 9);
}

TEST(DataSessionGlobals, SetTwiceKeepsOneElement) {
  SDR_DATA_SESSION s;
  EXPECT_FALSE(s.set_global_data(nullptr, 1, false));
  EXPECT_TRUE(s.set_global_data("a", 5, false));
  EXPECT_TRUE(s.set_global_data("a", 7, false));
  const int values[] = {1, -2, 3};
  EXPECT_TRUE(s.set_global_data("m", values, 3, false));
  EXPECT_TRUE(s.set_global_data("m", values, 2, false));
  EXPECT_TRUE(s.set_global_data("t", 9, true));  // table only
  EXPECT_EQ(s.get_global_data("a"), 7);
  EXPECT_EQ(s.get_global_data("t"), 9);
  EXPECT_EQ(s.get_global_data("b"), -1);
  std::string text;
  ASSERT_TRUE(s.write_to_string(&text));
  EXPECT_EQ(text,
            "<session>\n  <display_tree/>\n  <global_info>\n"
            "    <single attribute=\"a\" value=\"7\"/>\n"
            "    <multi attribute=\"m\" size=\"2\" value=\"1,-2\"/>\n"
            "  </global_info>\n</session>\n");
}

TEST(DataSessionGlobals, GuiLoggingFlag) {
  SDR_DATA_SESSION s;
  DOMElement* tree = s.get_display_tree_element();
  EXPECT_TRUE(s.is_gui_logging_enabled());  // absent
  struct CASE {
    const char* text;
    bool enabled;
  };
  for (const CASE& c :
       {CASE{"", true}, CASE{"0", false}, CASE{"x", false}, CASE{"1abc", true}, CASE{"1", true}}) {
    sdr_set_attribute(tree, "gui_logging_enabled", c.text);
    EXPECT_EQ(s.is_gui_logging_enabled(), c.enabled) << '"' << c.text << '"';
  }
  s.set_gui_logging(false);
  EXPECT_EQ(sdr_get_attribute(tree, "gui_logging_enabled"), "0");
  EXPECT_FALSE(s.is_gui_logging_enabled());
  s.set_gui_logging(true);
  EXPECT_EQ(sdr_get_attribute(tree, "gui_logging_enabled"), "1");
}

// ----------------------------------------------------------------- saving

TEST(DataSessionSave, BixFileRelativeToSavedFile) {
  TEMP_DIR dir;
  fs::create_directories(dir / "a/c");
  std::string src = dir / "a/b.tzo";
  write_bytes(src, "<session bix_file=\"x/y.bix\"/>");
  SDR_DATA_SESSION s(src.c_str());
  std::string bix = dir / "a/x/y.bix";
  EXPECT_STREQ(s.get_bix_file_name(), bix.c_str());
  EXPECT_EQ(sdr_get_attribute(s.get_root_element(), "bix_file"), "x/y.bix");

  std::string dst = dir / "a/c/d.tzo";
  ASSERT_TRUE(s.save_as(dst.c_str(), true, false));
  EXPECT_EQ(read_bytes(dst),
            "<session bix_file=\"../x/y.bix\">\n  <display_tree/>\n  <global_info/>\n</session>\n");
  EXPECT_STREQ(s.get_bix_file_name(), bix.c_str());
  EXPECT_EQ(sdr_get_attribute(s.get_root_element(), "bix_file"), bix);

  SDR_DATA_SESSION reloaded(dst.c_str());
  EXPECT_STREQ(reloaded.get_bix_file_name(), bix.c_str());

  std::string abs_src = dir / "abs.tzo";
  write_bytes(abs_src, "<session bix_file=\"/opt/bench/prog.bix\"/>");
  SDR_DATA_SESSION absolute(abs_src.c_str());
  EXPECT_STREQ(absolute.get_bix_file_name(), "/opt/bench/prog.bix");
  ASSERT_TRUE(absolute.save_as((dir / "a/c/abs.tzo").c_str(), true, false));
  SDR_DATA_SESSION abs_reloaded((dir / "a/c/abs.tzo").c_str());
  EXPECT_STREQ(abs_reloaded.get_bix_file_name(), "/opt/bench/prog.bix");
}

TEST(DataSessionSave, NameHandlingAndUnwritableTargets) {
  TEMP_DIR dir;
  std::string src = dir / "s.tzo";
  write_bytes(src, "<session/>");
  SDR_DATA_SESSION s(src.c_str());

  EXPECT_FALSE(s.save_as((dir / "no/such/dir.tzo").c_str(), true, false));
  EXPECT_STREQ(s.get_name(), src.c_str());
  EXPECT_FALSE(s.save_as(dir.path().c_str(), true, false));
  EXPECT_STREQ(s.get_name(), src.c_str());
  // A failed save leaves the in-memory bix file name alone.
  EXPECT_EQ(s.get_bix_file_name(), nullptr);
  EXPECT_EQ(s.get_root_element()->getAttributeNode(SDR_XSTR("bix_file")), nullptr);

  std::string copy = dir / "copy.tzo";
  ASSERT_TRUE(s.save_as(copy.c_str(), false, true));
  EXPECT_STREQ(s.get_name(), src.c_str());
  EXPECT_EQ(read_bytes(copy), EMPTY_SAVED);
  ASSERT_TRUE(s.save(true));
  EXPECT_EQ(read_bytes(src), EMPTY_SAVED);

  if (geteuid() != 0) {  // root writes through any permission bits
    std::string locked = dir / "locked.tzo";
    write_bytes(locked, "old");
    chmod(locked.c_str(), 0444);
    EXPECT_FALSE(s.save_as(locked.c_str(), true, false));
    EXPECT_EQ(read_bytes(locked), "old");
  }
}

TEST(DataSessionSave, KeepsModeAndFollowsSymlink) {
  TEMP_DIR dir;
  SDR_DATA_SESSION s;
  std::string target = dir / "real.tzo";
  write_bytes(target, "old");
  ASSERT_EQ(chmod(target.c_str(), 0640), 0);
  ASSERT_TRUE(s.save_as(target.c_str(), true, false));
  struct stat st;
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  std::string link = dir / "link.tzo";
  ASSERT_EQ(symlink("real.tzo", link.c_str()), 0);
  s.set_global_data("v", 1, false);
  ASSERT_TRUE(s.save_as(link.c_str(), true, false));
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_NE(read_bytes(target).find("<single attribute=\"v\" value=\"1\"/>"), std::string::npos);
  ASSERT_EQ(stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(DataSessionSave, OldFileSurvivesFailedWrite) {
  TEMP_DIR dir;
  std::string target = dir / "keep.tzo";
  const std::string old_bytes = "<session>\n  <old/>\n</session>\n";
  write_bytes(target, old_bytes);

  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit lim = {4096, 4096};
    if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(2);
    SDR_DATA_SESSION s;
    sdr_set_attribute(s.get_root_element(), "filler", std::string(64 * 1024, 'f').c_str());
    _exit(s.save_as(target.c_str(), true, false) ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "save_as must report the failed write";
  EXPECT_EQ(read_bytes(target), old_bytes);
  for (const auto& entry : fs::directory_iterator(dir.path()))
    EXPECT_EQ(entry.path().filename().string().rfind(".keep.tzo.tmp", 0), std::string::npos) << entry.path();
}

TEST(DataSessionSave, UnwritableCharactersFailWithoutWriting) {
  TEMP_DIR dir;
  std::string path = dir / "bad.tzo";
  const XMLCh lone[] = {'a', 0xD800, 'b', 0};
  const XMLCh control[] = {'a', 0x01, 0};
  const XMLCh name[] = {'n', 0xE9, 0};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    SDR_DATA_SESSION s;
    DOMElement* e = s.get_document()->createElement(SDR_XSTR("x"));
    s.get_root_element()->appendChild(e);
    if (i == 0) e->setAttribute(SDR_XSTR("v"), lone);
    if (i == 1) e->appendChild(s.get_document()->createTextNode(control));
    if (i == 2) e->appendChild(s.get_document()->createElement(name));
    std::string text;
    EXPECT_FALSE(SDR_DATA_XML_WRITER::write(e, &text));
    EXPECT_FALSE(s.save_as(path.c_str(), true, false));
    EXPECT_EQ(s.get_name(), nullptr);
    EXPECT_FALSE(fs::exists(path));
  }
}

// ----------------------------------------------------------------- writer

// The smallest code point of each UTF-8 length converts; an overlong form
// of it is taken byte by byte.
TEST(Utf8Text, ShortestFormsOnly) {
  EXPECT_EQ(std::u16string(SDR_XSTR("\xC2\x80").x()), u"\u0080");
  EXPECT_EQ(std::u16string(SDR_XSTR("\xE0\xA0\x80").x()), u"\u0800");
  EXPECT_EQ(std::u16string(SDR_XSTR("\xF0\x90\x80\x80").x()), std::u16string({0xD800, 0xDC00}));
  EXPECT_EQ(std::u16string(SDR_XSTR("\xC1\xBF").x()), std::u16string({0xC1, 0xBF}));
  EXPECT_EQ(std::u16string(SDR_XSTR("\xE0\x9F\xBF").x()), std::u16string({0xE0, 0x9F, 0xBF}));
  EXPECT_EQ(std::u16string(SDR_XSTR("\xF0\x8F\xBF\xBF").x()), std::u16string({0xF0, 0x8F, 0xBF, 0xBF}));
  EXPECT_EQ(sdr_to_utf8(u"\u0080\u0800\U00010000"), "\xC2\x80\xE0\xA0\x80\xF0\x90\x80\x80");
}

// Escaping is XmlWriterEscaping's (and the "attributes" file's); here the
// kinds of node.
TEST(XmlWriter, NodeKinds) {
  SDR_DATA_SESSION s;
  DOMDocument* doc = s.get_document();
  DOMElement* e = doc->createElement(SDR_XSTR("probe"));
  s.get_root_element()->appendChild(e);
  e->appendChild(doc->createTextNode(SDR_XSTR("a\n'b")));
  e->appendChild(doc->createCDATASection(SDR_XSTR("x]]>y")));
  e->appendChild(doc->createProcessingInstruction(SDR_XSTR("pi"), SDR_XSTR("a b")));
  e->appendChild(doc->createComment(SDR_XSTR(" c ")));
  e->appendChild(doc->createTextNode(SDR_XSTR(" \t\n ")));  // white space only: dropped
  DOMElement* data = doc->createElement(SDR_XSTR("data"));
  data->appendChild(doc->createTextNode(SDR_XSTR("0101")));
  e->appendChild(data);

  std::string out;
  ASSERT_TRUE(SDR_DATA_XML_WRITER::write(e, &out));
  EXPECT_EQ(out,
            "\n<probe>a\n'b"
            "<![CDATA[x]]]]><![CDATA[>y]]><?pi a b?><!-- c -->\n  <data>0101</data>\n</probe>");
}

// Names are written from a small cache keyed by where their text lives:
// many names (sharing cache slots), long ones, and a value held in more
// than one text node must all come out as they are.
TEST(XmlWriter, ManyAndLongNames) {
  SDR_DATA_SESSION s;
  DOMDocument* doc = s.get_document();
  DOMElement* e = doc->createElement(SDR_XSTR("probe"));
  s.get_root_element()->appendChild(e);
  std::map<std::string, std::string> attrs;  // the DOM's order: sorted by name
  for (int i = 0; i < 600; ++i) {
    std::string name = "a" + std::to_string(i) + (i % 7 == 0 ? std::string(60, 'x') : std::string());
    attrs[name] = std::to_string(i * 3);
    e->setAttribute(SDR_XSTR(name.c_str()), SDR_XSTR(attrs[name].c_str()));
  }
  DOMAttr* split = doc->createAttribute(SDR_XSTR("zz"));
  split->appendChild(doc->createTextNode(SDR_XSTR("one ")));
  split->appendChild(doc->createTextNode(SDR_XSTR("& two")));
  e->setAttributeNode(split);
  std::string child = "child_" + std::string(70, 'c');
  for (int i = 0; i < 3; ++i) e->appendChild(doc->createElement(SDR_XSTR(child.c_str())));

  std::string expected = "\n<probe";
  for (const auto& a : attrs) expected += " " + a.first + "=\"" + a.second + "\"";
  expected += " zz=\"one &amp; two\">";
  for (int i = 0; i < 3; ++i) expected += "\n  <" + child + "/>";
  expected += "\n</probe>";
  for (int round = 0; round < 2; ++round) {
    std::string out;
    ASSERT_TRUE(SDR_DATA_XML_WRITER::write(e, &out));
    EXPECT_EQ(out, expected);
  }
}

TEST(XmlWriter, DeepChainIsWrittenWithoutRecursion) {
  // Indentation grows with the depth, so the text is quadratic in it; the
  // depth is kept moderate and the write runs on a small stack instead.
  const int depth = 4000;
  SDR_DATA_SESSION s;
  DOMElement* parent = s.get_root_element();
  for (int i = 0; i < depth; ++i) {
    DOMElement* e = s.get_document()->createElement(SDR_XSTR("n"));
    parent->appendChild(e);
    parent = e;
  }
  // A recursive walk would overflow a small stack at this depth; the write
  // runs on one in a child process, so that a crash fails only this test.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    struct JOB {
      const SDR_DATA_SESSION* session;
      bool ok;
    } job{&s, false};
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    if (pthread_attr_setstacksize(&attr, 128 * 1024) != 0) _exit(2);
    pthread_t thread;
    auto run = [](void* arg) -> void* {
      JOB* j = static_cast<JOB*>(arg);
      std::string text;
      j->ok = j->session->write_to_string(&text);
      return nullptr;
    };
    if (pthread_create(&thread, &attr, run, &job) != 0) _exit(2);
    pthread_join(thread, nullptr);
    _exit(job.ok ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;

  std::string t;
  ASSERT_TRUE(s.write_to_string(&t));
  const std::string head = "<session>\n  <display_tree/>\n  <global_info/>\n  <n>\n    <n>\n";
  EXPECT_EQ(t.compare(0, head.size(), head), 0);
  const std::string innermost = "\n" + std::string(2 * depth, ' ') + "<n/>\n";
  EXPECT_NE(t.find(innermost), std::string::npos);
  const std::string tail = "\n    </n>\n  </n>\n</session>\n";
  ASSERT_GE(t.size(), tail.size());
  EXPECT_EQ(t.compare(t.size() - tail.size(), tail.size(), tail), 0);
  EXPECT_EQ(std::count(t.begin(), t.end(), '\n'), 2 * depth + 3);
}

// ------------------------------------------------------------ element walk

TEST(XmlUtil, FindSkipsNonElementNodes) {
  SDR_DATA_SESSION s;
  DOMDocument* doc = s.get_document();
  DOMElement* parent = doc->createElement(SDR_XSTR("p"));
  auto add = [&](const char* tag, const char* id) {
    DOMElement* e = doc->createElement(SDR_XSTR(tag));
    sdr_set_attribute(e, "id", id);
    parent->appendChild(e);
  };
  parent->appendChild(doc->createTextNode(SDR_XSTR("text")));
  parent->appendChild(doc->createComment(SDR_XSTR("a")));
  add("b", "1");
  parent->appendChild(doc->createTextNode(SDR_XSTR("a")));
  add("a", "2");
  parent->appendChild(doc->createComment(SDR_XSTR("a")));
  add("A", "3");
  add("a", "4");

  DOMElement* a = find_child_element(parent, "a");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(sdr_get_attribute(a, "id"), "2");
  EXPECT_EQ(find_child_element(parent, SDR_XSTR("a").x()), a);
  DOMElement* next = find_next_sibling_element(a, "a");
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(sdr_get_attribute(next, "id"), "4");
  EXPECT_EQ(find_next_sibling_element(a, SDR_XSTR("a").x()), next);
  EXPECT_EQ(find_next_sibling_element(next, "a"), nullptr);
  EXPECT_EQ(find_child_element(parent, "c"), nullptr);

  DOMElement* first = first_child_element(parent);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(sdr_get_attribute(first, "id"), "1");
  EXPECT_EQ(next_sibling_element(first), a);
  EXPECT_EQ(next_sibling_element(next), nullptr);

  MSG_INTERNAL_ERROR::clear_reports();
  EXPECT_EQ(find_child_element(nullptr, "a"), nullptr);
  EXPECT_EQ(find_next_sibling_element(nullptr, "a"), nullptr);
  EXPECT_EQ(first_child_element(nullptr), nullptr);
  EXPECT_EQ(next_sibling_element(nullptr), nullptr);
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);

  EXPECT_EQ(find_child_element(parent, static_cast<const char*>(nullptr)), nullptr);
  EXPECT_EQ(find_child_element(parent, static_cast<const XMLCh*>(nullptr)), nullptr);
  EXPECT_EQ(find_next_sibling_element(a, static_cast<const char*>(nullptr)), nullptr);
  EXPECT_EQ(find_next_sibling_element(a, static_cast<const XMLCh*>(nullptr)), nullptr);
  ASSERT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 4);
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(MSG_INTERNAL_ERROR::get_expression_at(i), "element_name != NULL");
    EXPECT_STREQ(MSG_INTERNAL_ERROR::get_file_at(i), "sdr_data_xml_util.cpp");
  }
  MSG_INTERNAL_ERROR::clear_reports();
}

// ------------------------------------------------------- leaving the session

namespace {

// Reads every object the session reaches, through its owners and through
// the active display tree; a pointer left to a freed object shows here (and
// under the address sanitizer).
int walk_session(SDR_DATA_SESSION& s) {
  int seen = 0;
  for (int i = 0; i < s.get_num_instances(); ++i) {
    SDR_DATA_INSTANCE* instance = s.get_instance_at(i);
    for (SDR_DATA_SIGNAL_SET* set : {s.find_active_signal_set(instance), instance->get_last_signal_set(),
                                     instance->get_global_signal_set()}) {
      if (!set) continue;
      seen += set->get_name() != nullptr;
      for (SDR_DATA_TRIGGER* t : {set->get_last_trigger(), set->get_global_trigger()}) {
        if (!t) continue;
        seen += t->get_name() != nullptr && t->get_signal_set() == set;
        for (SDR_DATA_LOG* log : {t->get_last_log(), t->get_global_log()})
          if (log) seen += log->get_name() != nullptr && log->get_trigger() == t;
      }
    }
    if (SDR_DATA_TRIGGER* t = s.find_active_trigger(instance)) seen += t->get_name() != nullptr;
    if (SDR_DATA_LOG* log = s.find_active_log(instance)) seen += log->get_name() != nullptr;
  }
  return seen;
}

}  // namespace

// Every kind of object, listed or global, removed after it joined the active
// display tree: nothing in the session points to it any more.
TEST(DataSessionDetach, RemovedObjectsLeaveNoPointerBehind) {
  for (int kind = 0; kind < 8; ++kind) {
    SCOPED_TRACE(kind);
    const bool global = kind % 2 == 1;
    SDR_DATA_SESSION s;
    s.reset_active_tree();
    SDR_DATA_INSTANCE* instance = s.create_trazio_instance("ela");
    SDR_DATA_SIGNAL_SET* set = instance->create_signal_set("set", global && kind / 2 == 2);
    SDR_DATA_TRIGGER* trigger = set->create_trigger("trig", global && kind / 2 == 1);
    SDR_DATA_LOG* log = trigger->create_log("log", global && kind / 2 == 0);
    ASSERT_TRUE(s.add_active_branch(log));
    switch (kind / 2) {
      case 0:
        log->remove();
        EXPECT_EQ(s.find_active_log(instance), nullptr);
        EXPECT_EQ(s.find_active_trigger(instance), trigger);
        break;
      case 1:
        trigger->remove();
        EXPECT_EQ(s.find_active_trigger(instance), nullptr);
        EXPECT_EQ(s.find_active_log(instance), nullptr);
        EXPECT_EQ(s.find_active_signal_set(instance), set);
        EXPECT_EQ(set->get_last_trigger(), nullptr);
        break;
      case 2:
        set->remove();
        EXPECT_EQ(s.find_active_signal_set(instance), nullptr);
        EXPECT_EQ(instance->get_last_signal_set(), nullptr);
        break;
      default:
        if (global) continue;
        instance->remove();
        EXPECT_EQ(s.get_num_instances(), 0);
        break;
    }
    walk_session(s);
    std::string text;
    ASSERT_TRUE(s.write_to_string(&text));
  }
  EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0);
}

// A detached object leaves its owner and the document until it is
// appended again; then the session reads as before.
TEST(DataSessionDetach, DetachedObjectsCanBeAppendedAgain) {
  SDR_DATA_SESSION s;
  SDR_DATA_INSTANCE* instance = s.create_trazio_instance("ela");
  SDR_DATA_SIGNAL_SET* set = instance->create_signal_set("set", false);
  SDR_DATA_TRIGGER* trigger = set->create_trigger("trig", false);
  SDR_DATA_LOG* log = trigger->create_log("log", false);
  std::string before, during, after;
  ASSERT_TRUE(s.write_to_string(&before));

  std::unique_ptr<SDR_DATA_TRIGGER> held = trigger->detach();
  EXPECT_EQ(set->find_trigger("trig"), nullptr);
  EXPECT_EQ(held->get_signal_set(), nullptr);
  EXPECT_EQ(held->find_log("log"), log);
  ASSERT_TRUE(s.write_to_string(&during));
  EXPECT_EQ(during.find("name=\"trig\""), std::string::npos);
  ASSERT_TRUE(set->append(held.get(), true));
  held.release();
  EXPECT_EQ(trigger->get_signal_set(), set);
  ASSERT_TRUE(s.write_to_string(&after));
  EXPECT_EQ(after, before);

  // Dropped while detached: its element goes with it.
  instance->create_signal_set("other", false)->detach().reset();
  ASSERT_TRUE(s.write_to_string(&after));
  EXPECT_EQ(after, before);
  EXPECT_EQ(instance->get_num_signal_sets(), 1);
}
