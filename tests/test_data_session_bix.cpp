#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>
#include <xercesc/dom/DOM.hpp>

#include "cfg_service.h"
#include "msg_service.h"
#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "test_util.h"

using namespace xercesc;
using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

std::string random_bytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen() & 0xff);
  return bytes;
}

bool exists(const std::string& path) {
  return std::filesystem::exists(path);
}

DOMElement* entry_at(const SDR_DATA_SESSION& s, int index) {
  DOMElement* e = find_child_element(s.get_embedded_files_element(), "embedded_bix_file");
  for (int i = 0; e && i < index; ++i) e = find_next_sibling_element(e, "embedded_bix_file");
  return e;
}

// Replaces the entry's children with one text node.
void set_entry_text(SDR_DATA_SESSION& s, int index, const char* text) {
  DOMElement* e = entry_at(s, index);
  while (DOMNode* child = e->getFirstChild()) e->removeChild(child)->release();
  e->appendChild(s.get_document()->createTextNode(SDR_XSTR(text)));
}

std::string internal_errors() {
  std::string texts;
  for (int i = 0; i < MSG_INTERNAL_ERROR::get_num_reports(); ++i) {
    if (!texts.empty()) texts += "|";
    texts += MSG_INTERNAL_ERROR::get_expression_at(i);
  }
  return texts;
}

class EmbeddedBix : public ::testing::Test {
 protected:
  void TearDown() override { cfg_set_value("sdr_max_embedded_mb", nullptr); }
  // Embeds bytes under name through a file in the scratch directory.
  bool embed(SDR_DATA_SESSION& s, const std::string& bytes, const char* name) {
    std::string path = dir / (std::string("src_") + name);
    write_bytes(path, bytes);
    return s.embed_bix_file(path.c_str(), name);
  }
  TEMP_DIR dir;
};

}  // namespace

// The stored form of a fresh entry is compared whole by the CLI cases
// (embed_added); here the smallest file comes back out.
TEST_F(EmbeddedBix, OneByteFileRoundTrips) {
  SDR_DATA_SESSION s;
  EXPECT_EQ(s.get_embedded_bix_file_count(), 0);
  ASSERT_TRUE(embed(s, std::string(1, '\xA5'), "one.bix"));
  ASSERT_EQ(s.get_embedded_bix_file_count(), 1);
  std::string out = dir / "one.out";
  ASSERT_TRUE(s.extract_bix_file(0, out.c_str()));
  EXPECT_EQ(read_bytes(out), std::string(1, '\xA5'));
  EXPECT_EQ(internal_errors(), "");
}

TEST_F(EmbeddedBix, LargeRandomFileSurvivesRepeatedSaveAndReload) {
  const std::string big = random_bytes(3 * 1024 * 1024, 7);
  const std::string small = "tiny";
  std::string path = dir / "session.tzo";
  {
    SDR_DATA_SESSION s;
    ASSERT_TRUE(embed(s, big, "big.bix"));
    ASSERT_TRUE(embed(s, small, "small.bix"));
    ASSERT_TRUE(s.save_as(path.c_str(), true, false));
  }
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    SDR_DATA_SESSION s(path.c_str());
    ASSERT_EQ(s.get_embedded_bix_file_count(), 2);
    std::string out = dir / "big.out";
    ASSERT_TRUE(s.extract_bix_file(0, out.c_str()));
    EXPECT_TRUE(read_bytes(out) == big);
    ASSERT_TRUE(s.extract_bix_file(1, out.c_str()));
    EXPECT_EQ(read_bytes(out), small);
    ASSERT_TRUE(s.save(true));
  }
  EXPECT_EQ(internal_errors(), "");
}

TEST_F(EmbeddedBix, HandWrittenDocumentLoadsExtractsAndSaves) {
  SDR_DATA_SESSION s(sdr_test::data_path("bix/embedded.tzo").c_str());
  // The comment and the foreign element are not entries.
  ASSERT_EQ(s.get_embedded_bix_file_count(), 2);
  EXPECT_STREQ(s.get_embedded_bix_filename_at(0), "first.bix");
  EXPECT_STREQ(s.get_embedded_bix_filename_at(1), "second.bix");
  EXPECT_STREQ(s.get_embedded_bix_inst_id_crc_at(0), "0:1A2B");
  EXPECT_EQ(s.get_embedded_bix_inst_id_crc_at(1), nullptr);

  std::string out = dir / "out.bix";
  ASSERT_TRUE(s.extract_bix_file(0, out.c_str()));
  EXPECT_EQ(read_bytes(out), "hello\n");
  ASSERT_TRUE(s.extract_bix_file(1, out.c_str()));
  std::string second;
  for (int i = 0; i < 3; ++i) second += std::string("second file\0\x01\x02\xff", 15);
  EXPECT_EQ(read_bytes(out), second);

  std::string saved = dir / "saved.tzo";
  ASSERT_TRUE(s.save_as(saved.c_str(), true, false));
  EXPECT_EQ(read_bytes(saved), read_bytes(sdr_test::data_path("bix/embedded.expected.tzo")));

  // Edits write through to the document.
  ASSERT_TRUE(s.remove_embedded_bix_at(0));
  ASSERT_TRUE(s.rename_embedded_bix_filename_at(0, "renamed.bix"));
  ASSERT_TRUE(s.set_embedded_bix_inst_id_crc_at(0, "1:FFFF 2:0001"));
  ASSERT_TRUE(s.save_as(saved.c_str(), true, false));
  EXPECT_EQ(read_bytes(saved), read_bytes(sdr_test::data_path("bix/embedded.edited.expected.tzo")));
  EXPECT_STREQ(s.get_embedded_bix_filename_at(0), "renamed.bix");
  EXPECT_STREQ(s.get_embedded_bix_inst_id_crc_at(0), "1:FFFF 2:0001");

  // Each session keeps its own text: another session's call leaves it alone.
  SDR_DATA_SESSION other;
  ASSERT_TRUE(embed(other, "y", "other.bix"));
  const char* mine = s.get_embedded_bix_filename_at(0);
  EXPECT_STREQ(other.get_embedded_bix_filename_at(0), "other.bix");
  EXPECT_STREQ(mine, "renamed.bix");
  EXPECT_EQ(internal_errors(), "");
}

// How later entries shift after a removal is ManyEntriesAreListedInOrder's.
TEST_F(EmbeddedBix, SameNameTwiceAndBoundsFindNothing) {
  SDR_DATA_SESSION s;
  ASSERT_TRUE(embed(s, "AAAA", "a.bix"));
  ASSERT_TRUE(embed(s, "BBBB", "b.bix"));
  ASSERT_TRUE(embed(s, "AAAA", "a.bix"));  // same name again: a third entry
  ASSERT_EQ(s.get_embedded_bix_file_count(), 3);
  ASSERT_TRUE(s.remove_embedded_bix_at(0));

  for (int index : {-1, 2}) {
    SCOPED_TRACE(index);
    MSG_INTERNAL_ERROR::clear_reports();
    EXPECT_EQ(s.get_embedded_bix_filename_at(index), nullptr);
    EXPECT_EQ(s.get_embedded_bix_inst_id_crc_at(index), nullptr);
    EXPECT_FALSE(s.rename_embedded_bix_filename_at(index, "x"));
    EXPECT_FALSE(s.set_embedded_bix_inst_id_crc_at(index, "x"));
    EXPECT_FALSE(s.remove_embedded_bix_at(index));
    std::string target = dir / "none.bix";
    EXPECT_FALSE(s.extract_bix_file(index, target.c_str()));
    EXPECT_FALSE(exists(target));
    EXPECT_EQ(internal_errors(), "Embedded bix file index mismatch");
  }
  EXPECT_EQ(s.get_embedded_bix_file_count(), 2);

  // A session without entries.
  SDR_DATA_SESSION loaded(sdr_test::data_path("session/empty_session.tzo").c_str());
  EXPECT_EQ(loaded.get_embedded_bix_file_count(), 0);
  EXPECT_EQ(loaded.get_embedded_bix_filename_at(0), nullptr);
}

TEST_F(EmbeddedBix, NullArgumentsAreInternalErrors) {
  SDR_DATA_SESSION s;
  std::string src = dir / "src";
  write_bytes(src, "data");
  EXPECT_FALSE(s.embed_bix_file(nullptr, "x"));
  EXPECT_FALSE(s.embed_bix_file(src.c_str(), nullptr));
  ASSERT_TRUE(s.embed_bix_file(src.c_str(), "x"));
  EXPECT_FALSE(s.rename_embedded_bix_filename_at(0, nullptr));
  EXPECT_FALSE(s.set_embedded_bix_inst_id_crc_at(0, nullptr));
  EXPECT_EQ(internal_errors(),
            "filename != NULL && embedded_name != NULL|filename != NULL && embedded_name != NULL|"
            "new_embedded_name != NULL|inst_id_crc_str != NULL");
  EXPECT_EQ(s.get_embedded_bix_file_count(), 1);
  EXPECT_STREQ(s.get_embedded_bix_filename_at(0), "x");
}

TEST_F(EmbeddedBix, NothingToEmbedLeavesTheDocumentAlone) {
  SDR_DATA_SESSION s;
  std::string before;
  ASSERT_TRUE(s.write_to_string(&before));
  std::string empty = dir / "empty.bix";
  write_bytes(empty, "");
  std::string fifo = dir / "pipe.bix";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string sources[] = {empty, dir / "missing.bix", dir.path(), fifo};
  for (const std::string& source : sources) {
    SCOPED_TRACE(source);
    EXPECT_FALSE(s.embed_bix_file(source.c_str(), "x"));
  }
  // A file over the configured cap.
  cfg_set_value("sdr_max_embedded_mb", "1");
  EXPECT_FALSE(embed(s, std::string(1024 * 1024 + 1, 'z'), "big.bix"));
  EXPECT_TRUE(embed(s, std::string(1024 * 1024, 'z'), "fits.bix"));
  ASSERT_TRUE(s.remove_embedded_bix_at(0));

  EXPECT_EQ(s.get_embedded_bix_file_count(), 0);
  std::string after;
  ASSERT_TRUE(s.write_to_string(&after));
  EXPECT_EQ(after, "<session>\n  <display_tree/>\n  <global_info/>\n  <embedded_bix_files/>\n</session>\n");
  EXPECT_EQ(internal_errors(), "");

  SDR_DATA_SESSION untouched;
  EXPECT_FALSE(untouched.embed_bix_file(empty.c_str(), "x"));
  EXPECT_EQ(untouched.get_embedded_files_element(), nullptr);
  ASSERT_TRUE(untouched.write_to_string(&after));
  EXPECT_EQ(after, before);
}

TEST_F(EmbeddedBix, StoredSizeDecidesWhatExtracts) {
  const std::string content = std::string(1000, 'q') + "end";  // compresses well
  SDR_DATA_SESSION s;
  ASSERT_TRUE(embed(s, content, "q.bix"));
  DOMElement* e = entry_at(s, 0);
  std::string target = dir / "q.out";

  struct CASE {
    const char* size;
    bool ok;
  };
  // A larger size still gives the real bytes; how the text itself is read
  // is StoredSizeIsReadStrictly's.
  const CASE cases[] = {{"1003", true}, {"1004", true}, {"10000", true},       {"1002", false},
                        {"1", false},   {"0", false},   {"4000000000", false}, {"12a", false}};
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.size);
    std::filesystem::remove(target);
    sdr_set_attribute(e, "size", c.size);
    EXPECT_EQ(s.extract_bix_file(0, target.c_str()), c.ok);
    if (c.ok) {
      EXPECT_EQ(read_bytes(target), content);
    } else {
      EXPECT_FALSE(exists(target));
    }
  }
  sdr_remove_attribute(e, "size");
  EXPECT_FALSE(s.extract_bix_file(0, target.c_str()));
  EXPECT_FALSE(exists(target));

  // Beyond what the compressed data could expand to, or beyond the cap.
  sdr_set_attribute(e, "size", "200000");
  EXPECT_FALSE(s.extract_bix_file(0, target.c_str()));
  sdr_set_attribute(e, "size", "1003");
  cfg_set_value("sdr_max_embedded_mb", "0");  // below 1: the default
  EXPECT_TRUE(s.extract_bix_file(0, target.c_str()));
  EXPECT_EQ(internal_errors(), "");
}

TEST_F(EmbeddedBix, BrokenEntriesWriteNothing) {
  SDR_DATA_SESSION s;
  ASSERT_TRUE(embed(s, "payload", "p.bix"));
  std::string fresh = dir / "fresh.out";
  std::string kept = dir / "kept.out";
  write_bytes(kept, "old contents");

  const char* texts[] = {
      "!!!! not base64 ????",
      "R2FyYmFnZSBkYXRhIGhlcmU=",  // valid Base64 of bytes that are not zlib data
      "eJwrSKzMyU9MAQA=",          // zlib data with its checksum cut off
      "eJwrSKzMyU9MAQAL3QLq",      // zlib data with a wrong checksum
      "    \n  ",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    set_entry_text(s, 0, text);
    EXPECT_FALSE(s.extract_bix_file(0, fresh.c_str()));
    EXPECT_FALSE(exists(fresh));
    EXPECT_FALSE(s.extract_bix_file(0, kept.c_str()));
    EXPECT_EQ(read_bytes(kept), "old contents");
  }

  // No text at all, or an element where the text should be.
  DOMElement* e = entry_at(s, 0);
  e->removeChild(e->getFirstChild())->release();
  EXPECT_FALSE(s.extract_bix_file(0, fresh.c_str()));
  e->appendChild(s.get_document()->createElement(SDR_XSTR("x")));
  EXPECT_FALSE(s.extract_bix_file(0, fresh.c_str()));
  EXPECT_FALSE(exists(fresh));

  // A target that cannot be written.
  ASSERT_TRUE(embed(s, "payload", "p2.bix"));
  EXPECT_FALSE(s.extract_bix_file(1, dir.path().c_str()));
  std::string nowhere = dir / "no/such/dir/file";
  EXPECT_FALSE(s.extract_bix_file(1, nowhere.c_str()));
  EXPECT_EQ(internal_errors(), "");
}

namespace {

std::string entry_name(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "e%05d.bix", i);
  return text;
}

// The names of every entry, through the index getters.
std::string listed_names(const SDR_DATA_SESSION& s) {
  std::string names;
  for (int i = 0; i < s.get_embedded_bix_file_count(); ++i) {
    const char* name = s.get_embedded_bix_filename_at(i);
    names += (name ? name : "-") + std::string(" ");
  }
  return names;
}

}  // namespace

TEST_F(EmbeddedBix, ManyEntriesAreListedInOrderAndTheIndexFollowsEdits) {
  SDR_DATA_SESSION s;
  ASSERT_TRUE(embed(s, "seed", entry_name(0).c_str()));
  // Copies of the first entry, made through the document directly.
  const int n = 20000;
  DOMElement* files = s.get_embedded_files_element();
  DOMElement* model = entry_at(s, 0);
  for (int i = 1; i < n; ++i) {
    DOMElement* e = static_cast<DOMElement*>(model->cloneNode(true));
    sdr_set_attribute(e, "name", entry_name(i).c_str());
    files->appendChild(e);
  }
  ASSERT_EQ(s.get_embedded_bix_file_count(), n);
  int wrong = 0;
  for (int i = 0; i < n; ++i) {
    const char* name = s.get_embedded_bix_filename_at(i);
    if (!name || name != entry_name(i) || s.get_embedded_bix_file_size_at(i) != 4) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(s.get_embedded_bix_filename_at(n), nullptr);

  // Removals through the session shift the later entries down.
  ASSERT_TRUE(s.remove_embedded_bix_at(n - 1));
  ASSERT_TRUE(s.remove_embedded_bix_at(10000));
  ASSERT_TRUE(s.remove_embedded_bix_at(0));
  ASSERT_EQ(s.get_embedded_bix_file_count(), n - 3);
  EXPECT_STREQ(s.get_embedded_bix_filename_at(0), "e00001.bix");
  EXPECT_STREQ(s.get_embedded_bix_filename_at(9998), "e09999.bix");
  EXPECT_STREQ(s.get_embedded_bix_filename_at(9999), "e10001.bix");
  EXPECT_STREQ(s.get_embedded_bix_filename_at(n - 4), "e19998.bix");
  EXPECT_EQ(s.get_embedded_bix_filename_at(n - 3), nullptr);

  // An embed lands at the end; copies made in the document extract too.
  ASSERT_TRUE(embed(s, "last", "last.bix"));
  ASSERT_EQ(s.get_embedded_bix_file_count(), n - 2);
  EXPECT_STREQ(s.get_embedded_bix_filename_at(n - 3), "last.bix");
  std::string out = dir / "out.bix";
  ASSERT_TRUE(s.extract_bix_file(n - 3, out.c_str()));
  EXPECT_EQ(read_bytes(out), "last");
  ASSERT_TRUE(s.extract_bix_file(5000, out.c_str()));
  EXPECT_EQ(read_bytes(out), "seed");

  // Entries added or removed in the document behind the session's back: at
  // the end, and a removed entry met by an access.
  DOMElement* extra = static_cast<DOMElement*>(model->cloneNode(true));
  sdr_set_attribute(extra, "name", "extra.bix");
  files->appendChild(extra);
  ASSERT_EQ(s.get_embedded_bix_file_count(), n - 1);
  EXPECT_STREQ(s.get_embedded_bix_filename_at(n - 2), "extra.bix");
  files->removeChild(entry_at(s, 100))->release();
  EXPECT_STREQ(s.get_embedded_bix_filename_at(100), "e00102.bix");
  EXPECT_EQ(s.get_embedded_bix_file_count(), n - 2);
  EXPECT_EQ(internal_errors(), "");
}

TEST_F(EmbeddedBix, IndexIsRebuiltForEachLoadedDocument) {
  // Reloading a document of the same shape tends to put its elements at
  // the same addresses as before: here the first and last entries, while
  // the middle ones move because their names differ in length.
  const std::string long_name(40, 'm');
  const std::string paths[] = {dir / "a.tzo", dir / "b.tzo", dir / "c.tzo"};
  const std::vector<std::vector<std::string>> names = {
      {"first.bix", "s.bix", long_name, "last.bix"},
      {"first.bix", long_name, "s.bix", "last.bix"},
      {"first.bix", "last.bix"},
  };
  for (size_t f = 0; f < names.size(); ++f) {
    SDR_DATA_SESSION s;
    for (const std::string& name : names[f]) ASSERT_TRUE(embed(s, "same bytes", name.c_str()));
    ASSERT_TRUE(s.save_as(paths[f].c_str(), true, false));
  }
  SDR_DATA_SESSION s(paths[0].c_str());
  for (int round = 0; round < 3; ++round) {
    for (size_t f = 0; f < names.size(); ++f) {
      SCOPED_TRACE(paths[f]);
      ASSERT_TRUE(s.open(paths[f].c_str()));
      std::string expected;
      for (const std::string& name : names[f]) expected += name + " ";
      EXPECT_EQ(listed_names(s), expected);
      EXPECT_EQ(s.get_embedded_bix_file_size_at(1), 10);
    }
  }
  EXPECT_EQ(internal_errors(), "");
}

TEST_F(EmbeddedBix, StoredSizeIsReadStrictly) {
  SDR_DATA_SESSION s;
  EXPECT_EQ(s.get_embedded_bix_file_size_at(0), -1);
  ASSERT_TRUE(embed(s, std::string(1000, 'q'), "q.bix"));
  EXPECT_EQ(s.get_embedded_bix_file_size_at(0), 1000);
  EXPECT_EQ(s.get_embedded_bix_file_size_at(-1), -1);
  EXPECT_EQ(s.get_embedded_bix_file_size_at(1), -1);

  DOMElement* e = entry_at(s, 0);
  struct CASE {
    const char* text;
    int size;
  };
  const CASE cases[] = {
      {"1", 1},
      {"007", 7},
      {"2147483647", 2147483647},
      {"2147483648", -1},
      {"0", -1},
      {"", -1},
      {"-5", -1},
      {"+7", -1},
      {" 7", -1},
      {"7 ", -1},
      {"12a", -1},
      {"1e3", -1},
      {"0x10", -1},
      {"99999999999999999999", -1},
  };
  // The size limit for extracting does not apply to what is read here.
  cfg_set_value("sdr_max_embedded_mb", "1");
  for (const CASE& c : cases) {
    SCOPED_TRACE(c.text);
    sdr_set_attribute(e, "size", c.text);
    EXPECT_EQ(s.get_embedded_bix_file_size_at(0), c.size);
  }
  sdr_remove_attribute(e, "size");
  EXPECT_EQ(s.get_embedded_bix_file_size_at(0), -1);

  SDR_DATA_SESSION loaded(sdr_test::data_path("bix/embedded.tzo").c_str());
  EXPECT_EQ(loaded.get_embedded_bix_file_size_at(0), 6);
  EXPECT_EQ(loaded.get_embedded_bix_file_size_at(1), 45);
  EXPECT_EQ(internal_errors(), "");
}
