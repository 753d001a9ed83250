// Basic sessions: element trees, snapshot undo, and their registry in the
// repository manager with recovery files.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "msg_service.h"
#include "sdr_basic.h"
#include "sdr_data_manager.h"
#include "sdr_data_session.h"
#include "sdr_data_xml_util.h"
#include "test_util.h"

namespace fs = std::filesystem;
using sdr_test::read_bytes;
using sdr_test::TEMP_DIR;
using sdr_test::write_bytes;

namespace {

class Basic : public testing::Test {
 protected:
  void TearDown() override {
    EXPECT_EQ(MSG_INTERNAL_ERROR::get_num_reports(), 0)
        << (MSG_INTERNAL_ERROR::get_num_reports() ? MSG_INTERNAL_ERROR::get_expression_at(0) : "");
  }
  // The internal errors reported since the last call, joined by " | ".
  static std::string take_internal_errors() {
    std::string text;
    for (int i = 0; i < MSG_INTERNAL_ERROR::get_num_reports(); ++i)
      text += (i ? " | " : "") + std::string(MSG_INTERNAL_ERROR::get_expression_at(i));
    MSG_INTERNAL_ERROR::clear_reports();
    return text;
  }
  std::string saved(SDR_BASIC_SESSION& session) {
    EXPECT_EQ(session.save_as((m_dir / "saved.xml").c_str()), SDR_BASIC_ERROR_CODE_OK);
    return read_bytes(m_dir / "saved.xml");
  }
  std::string attribute(const SDR_BASIC_ELEMENT* e, const char* name) {
    std::string value;
    e->get_attribute(name, &value);
    return value;
  }

  TEMP_DIR m_dir;
};

const char* const TREE =
    "<session version=\"2\">\n"
    "  <cfg name=\"a\">\n"
    "    <item id=\"1\"/>\n"
    "    <group>\n"
    "      <item id=\"2\"/>\n"
    "    </group>\n"
    "    <item id=\"3\"/>\n"
    "  </cfg>\n"
    "  <other/>\n"
    "</session>\n";

}  // namespace

TEST_F(Basic, NewSessionSavesTheEmptyRoot) {
  SDR_BASIC_SESSION session("session", (m_dir / "new.xml").c_str(), true);
  EXPECT_EQ(saved(session), "<session/>\n");
  EXPECT_EQ(session.save_as((m_dir / "no/such/dir.xml").c_str()), SDR_BASIC_ERROR_CODE_READ_FAILED);
}

TEST_F(Basic, OpenEditSave) {
  std::string path = m_dir / "tree.xml";
  write_bytes(path, TREE);
  SDR_BASIC_SESSION session("session", path.c_str(), false);
  ASSERT_EQ(session.get_num_instance_elements(), 2);
  EXPECT_EQ(saved(session), TREE);

  SDR_BASIC_ELEMENT* cfg = session.get_instance_at(0);
  std::string text;
  EXPECT_EQ(cfg->get_name(&text), SDR_BASIC_ERROR_CODE_OK);
  EXPECT_EQ(text, "cfg");
  EXPECT_EQ(cfg->get_num_children(), 3);
  EXPECT_EQ(cfg->set_attribute("name", "b"), SDR_BASIC_ERROR_CODE_OK);
  EXPECT_EQ(cfg->set_attribute("bad name", "x"), SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT);
  EXPECT_EQ(cfg->set_attribute("empty", ""), SDR_BASIC_ERROR_CODE_OK);
  EXPECT_EQ(cfg->get_attribute("empty", &text), SDR_BASIC_ERROR_CODE_NOT_FOUND);
  EXPECT_EQ(cfg->get_attribute("missing", &text), SDR_BASIC_ERROR_CODE_NOT_FOUND);
  EXPECT_EQ(cfg->remove_attribute("missing"), SDR_BASIC_ERROR_CODE_NOT_FOUND);
  EXPECT_EQ(cfg->get_attribute(nullptr, &text), SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT);
  EXPECT_EQ(cfg->append_child_element("1bad"), nullptr);
  // Position 2 counts descendants: the nested item is 2, so the third child
  // (position 3) takes the new element before it, wrapper and element alike.
  SDR_BASIC_ELEMENT* inserted = cfg->insert_child_element("new", 3);
  ASSERT_NE(inserted, nullptr);
  EXPECT_EQ(cfg->get_child_element(2), inserted);
  EXPECT_EQ(cfg->insert_child_element("x", 2), nullptr);  // not a direct child
  EXPECT_EQ(cfg->insert_child_element("x", 99), nullptr);
  SDR_BASIC_ELEMENT* group = cfg->get_child_element(1);
  EXPECT_EQ(cfg->remove_child_element(group), SDR_BASIC_ERROR_CODE_OK);
  EXPECT_EQ(group->get_parent_element(), nullptr);
  delete group;
  cfg->append_child_element("last")->set_attribute("v", "<&>");
  EXPECT_EQ(session.set_attribute("version", "3"), SDR_BASIC_ERROR_CODE_OK);
  session.append_temp_instance("scratch")->append_child_element("never_saved");
  EXPECT_EQ(session.delete_temp_instance_at(1), SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT);
  EXPECT_EQ(saved(session),
            "<session version=\"3\">\n"
            "  <cfg empty=\"\" name=\"b\">\n"
            "    <item id=\"1\"/>\n"
            "    <new/>\n"
            "    <item id=\"3\"/>\n"
            "    <last v=\"&lt;&amp;>\"/>\n"
            "  </cfg>\n"
            "  <other/>\n"
            "</session>\n");
  EXPECT_EQ(session.delete_instance("other", 0), SDR_BASIC_ERROR_CODE_OK);
  EXPECT_EQ(session.delete_instance("other", 0), SDR_BASIC_ERROR_CODE_INVALID_ARGUMENT);
  EXPECT_EQ(session.get_num_instance_elements(), 1);
  EXPECT_EQ(session.get_num_undo_buffers(), 2);  // cfg's and the scratch tree's
  EXPECT_EQ(session.delete_temp_instance_at(0), SDR_BASIC_ERROR_CODE_OK);
  EXPECT_EQ(session.get_num_temp_instance_elements(), 0);
  EXPECT_EQ(take_internal_errors(), "list->getLength() > position");
}

TEST_F(Basic, ChildLookupCountsDescendantsInOneWalk) {
  std::string path = m_dir / "tree.xml";
  write_bytes(path, TREE);
  SDR_BASIC_SESSION session("session", path.c_str(), false);
  SDR_BASIC_ELEMENT* cfg = session.find_instance("cfg", 0);
  ASSERT_NE(cfg, nullptr);
  EXPECT_EQ(cfg->get_number_of_child_elements("item"), 3);
  EXPECT_EQ(cfg->get_number_of_child_elements(nullptr), 3);
  EXPECT_EQ(cfg->get_child_element("item", 0), cfg->get_child_element(0));
  EXPECT_EQ(cfg->get_child_element("item", 1), nullptr);  // nested under group
  EXPECT_EQ(cfg->get_child_element("item", 2), cfg->get_child_element(2));
  EXPECT_EQ(cfg->get_child_element(nullptr, 1), cfg->get_child_element(1));
  EXPECT_EQ(cfg->get_child_element("none", 0), nullptr);
  EXPECT_EQ(take_internal_errors(), "");
  EXPECT_EQ(cfg->get_child_element("item", 3), nullptr);
  EXPECT_EQ(cfg->get_child_element(7), nullptr);
  EXPECT_EQ(take_internal_errors(), "index < size || (index == 0) | m_children->size() > index");
  // A change in between is seen.
  cfg->get_child_element(1)->append_child_element("item");
  EXPECT_EQ(cfg->get_number_of_child_elements("item"), 4);
  EXPECT_EQ(cfg->get_child_element("item", 3), cfg->get_child_element(2));

  // Every child in turn, by tag, over a wide tree.
  SDR_BASIC_ELEMENT* wide = session.append_instance("wide");
  const int n = 20000;
  for (int i = 0; i < n; ++i) wide->append_child_element(i % 2 ? "odd" : "even");
  auto start = std::chrono::steady_clock::now();
  int found = 0;
  for (int i = 0; i < wide->get_number_of_child_elements("odd"); ++i)
    found += wide->get_child_element("odd", i) == wide->get_child_element(2 * i + 1);
  for (int i = n / 2 - 1; i >= 0; --i) found += wide->get_child_element("odd", i) != nullptr;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(found, n);
  EXPECT_LT(seconds, 0.5);
}

TEST_F(Basic, CopiesPointToTheirOwnParents) {
  std::string path = m_dir / "tree.xml";
  write_bytes(
      path, "<session><cfg><item>note<!--c--></item><group><item id=\"2\"/></group><item/></cfg></session>");
  SDR_BASIC_SESSION session("session", path.c_str(), false);
  SDR_BASIC_ELEMENT* cfg = session.get_instance_at(0);
  SDR_BASIC_ELEMENT copy(*cfg);
  ASSERT_EQ(copy.get_num_children(), 3);
  SDR_BASIC_ELEMENT* group = copy.get_child_element(1);
  EXPECT_EQ(group->get_parent_element(), &copy);
  EXPECT_EQ(group->get_parent_dom_node(), copy.get_dom_node());
  EXPECT_EQ(group->get_child_element(0)->get_parent_element(), group);
  EXPECT_EQ(group->get_undo_buffer(), cfg->get_undo_buffer());
  EXPECT_EQ(attribute(group->get_child_element(0), "id"), "2");
  EXPECT_NE(copy.get_dom_node(), cfg->get_dom_node());
  // Text and comments between the elements come along.
  std::string original;
  std::string copied;
  SDR_DATA_XML_WRITER::write(cfg->get_dom_node(), &original);
  SDR_DATA_XML_WRITER::write(copy.get_dom_node(), &copied);
  EXPECT_EQ(copied, original);
  EXPECT_NE(copied.find("note"), std::string::npos);
  // A populated root is not populated again.
  EXPECT_EQ(cfg->populate_element_tree(cfg->get_undo_buffer()), SDR_BASIC_ERROR_CODE_ALREADY_POPULATED);
  EXPECT_EQ(group->populate_element_tree(nullptr), SDR_BASIC_ERROR_CODE_ALREADY_POPULATED);
  EXPECT_EQ(cfg->get_num_children(), 3);

  session.append_instance("x");
  session.append_instance("y");
  SDR_BASIC_ELEMENT* third = session.append_instance("x");
  EXPECT_EQ(session.find_instance("x", 1), third);
  EXPECT_EQ(session.find_instance("x", 2), nullptr);
}

TEST_F(Basic, UndoRedoBySnapshots) {
  SDR_BASIC_SESSION session("session", (m_dir / "u.xml").c_str(), true);
  SDR_BASIC_ELEMENT* root = session.append_instance("cfg");
  root->set_attribute("mode", "a");
  root->append_child_element("item")->set_attribute("keep", "1");
  SDR_BASIC_UNDO_BUFFER* buffer = root->get_undo_buffer();
  EXPECT_FALSE(buffer->is_undoable());
  EXPECT_FALSE(buffer->undo());
  const std::string start = saved(session);

  buffer->save_snapshot();
  EXPECT_EQ(buffer->get_current(), 1u);
  EXPECT_TRUE(buffer->get_snapshot_at(0)->is_full_replace());
  root->set_attribute("mode", "b");
  root->get_child_element(0)->remove_attribute("keep");
  const std::string changed = saved(session);

  ASSERT_TRUE(buffer->undo());  // records the live state, then goes back
  EXPECT_EQ(buffer->get_num_snapshots(), 2);
  EXPECT_FALSE(buffer->get_snapshot_at(1)->is_full_replace());
  EXPECT_EQ(buffer->get_snapshot_at(1)->get_num_modifiers(), 2);
  EXPECT_EQ(saved(session), start);
  EXPECT_FALSE(buffer->undo());
  root = buffer->get_root();
  EXPECT_EQ(session.get_instance_at(0), root);
  // The removed attribute stays removed in the rebuilt state.
  ASSERT_TRUE(buffer->redo());
  EXPECT_EQ(saved(session), changed);
  EXPECT_FALSE(buffer->is_redoable());

  // A change after redoing to the newest state is not lost.
  buffer->save_snapshot();
  buffer->get_root()->set_attribute("mode", "c");
  const std::string newest = saved(session);
  ASSERT_TRUE(buffer->undo());
  EXPECT_EQ(saved(session), changed);
  ASSERT_TRUE(buffer->redo());
  EXPECT_EQ(saved(session), newest);

  // A structural change makes the next snapshot a full one; after an undo
  // the first snapshot drops the redo states.
  buffer->save_snapshot();
  buffer->get_root()->append_child_element("more");
  ASSERT_TRUE(buffer->undo());
  EXPECT_TRUE(buffer->get_snapshot_at(buffer->get_num_snapshots() - 1)->is_full_replace());
  EXPECT_EQ(saved(session), newest);
  buffer->set_savepoint();
  EXPECT_TRUE(buffer->is_last_savepoint());
  buffer->save_snapshot();
  EXPECT_FALSE(buffer->is_redoable());
  EXPECT_TRUE(buffer->is_last_savepoint());

  // A scratch tree has its own buffer and is restored outside the document.
  SDR_BASIC_ELEMENT* scratch = session.append_temp_instance("scratch");
  scratch->get_undo_buffer()->save_snapshot();
  scratch->set_attribute("v", "1");
  ASSERT_TRUE(scratch->get_undo_buffer()->undo());
  EXPECT_EQ(attribute(session.get_temp_instance_at(0), "v"), "");
  EXPECT_EQ(saved(session), newest);
}

TEST_F(Basic, RegistryCountsOpenersAndWritesRecoveryFiles) {
  fs::create_directories(m_dir / "my.proj");
  std::string path = m_dir / "my.proj/tree.xml";
  write_bytes(path, "<session><a/></session>");
  std::string broken = m_dir / "broken.xml";
  write_bytes(broken, "<session><a></session>");
  SDR_DATA_MANAGER* m = SDR_DATA_MANAGER::get_data_repository_manager();
  SDR_BASIC_SESSION* s = m->open_basic_session(path.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(m->open_basic_session(path.c_str()), s);
  EXPECT_TRUE(m->is_basic_session_opened(path.c_str()));
  EXPECT_TRUE(m->close_basic_session(path.c_str()));
  EXPECT_EQ(m->get_basic_session_opened(path.c_str()), s);
  EXPECT_TRUE(m->close_basic_session(s));
  EXPECT_FALSE(m->is_basic_session_opened(path.c_str()));
  EXPECT_FALSE(m->close_basic_session(path.c_str()));

  EXPECT_EQ(m->open_basic_session(broken.c_str()), nullptr);
  EXPECT_STREQ(MSG_REPORT::get_default_report()->get_posted_at(0)->get_id(), "ESDR_SOURCE_GENERIC");
  EXPECT_EQ(m->get_num_basic_sessions(), 0);

  s = m->open_basic_session(path.c_str());
  s->get_instance_at(0)->set_attribute("edited", "yes");
  SDR_BASIC_SESSION* fresh = m->create_basic_session((m_dir / "untitled.xml").c_str());
  EXPECT_EQ(fresh->get_open_ref(), 1);
  // A recovery file that cannot be written is reported with its path.
  fs::create_directories(m_dir / "gone");
  m->create_basic_session((m_dir / "gone/lost.xml").c_str());
  fs::remove(m_dir / "gone");
  delete m;

  EXPECT_EQ(read_bytes(m_dir / "my.proj/tree_recovered.xml"),
            "<session>\n  <a edited=\"yes\"/>\n</session>\n");
  EXPECT_EQ(read_bytes(m_dir / "untitled_recovered.xml"), "<session/>\n");
  EXPECT_EQ(read_bytes(path), "<session><a/></session>");
  EXPECT_EQ(take_internal_errors(), "recovery file written: " + (m_dir / "gone/lost_recovered.xml"));
}

TEST_F(Basic, RecoveryNamesSplitTheFileNameOnly) {
  EXPECT_EQ(SDR_DATA_MANAGER::get_recovery_name("/home/u/my.proj/design.tzo"),
            "/home/u/my.proj/design_recovered.tzo");
  EXPECT_EQ(SDR_DATA_MANAGER::get_recovery_name("C:/d/a.b.tzo"), "C:/d/a_recovered.b.tzo");
  EXPECT_EQ(SDR_DATA_MANAGER::get_recovery_name("/x.y/untitled*"), "/x.y/untitled_tmp_recovered");
  EXPECT_EQ(SDR_DATA_MANAGER::get_recovery_name("untitled.tzo*"), "untitled_tmp_recovered.tzo");
}

TEST_F(Basic, DeepTreesNeedNoDeepStack) {
  const int depth = 5000;
  std::string text = "<session>";
  for (int i = 0; i < depth; ++i) text += "<n>";
  for (int i = 0; i < depth; ++i) text += "</n>";
  text += "</session>";
  std::string path = m_dir / "deep.xml";
  write_bytes(path, text);
  SDR_BASIC_SESSION session("session", path.c_str(), false);
  ASSERT_EQ(session.get_num_instance_elements(), 1);
  SDR_BASIC_ELEMENT* root = session.get_instance_at(0);
  EXPECT_EQ(root->get_number_of_child_elements("n"), depth - 1);
  SDR_BASIC_UNDO_BUFFER* buffer = root->get_undo_buffer();
  buffer->save_snapshot();
  SDR_BASIC_ELEMENT* leaf = root;
  while (leaf->get_num_children() > 0) leaf = leaf->get_child_element(0);
  leaf->set_attribute("x", "1");
  ASSERT_TRUE(buffer->undo());
  ASSERT_TRUE(buffer->redo());
  leaf = buffer->get_root();
  while (leaf->get_num_children() > 0) leaf = leaf->get_child_element(0);
  EXPECT_EQ(attribute(leaf, "x"), "1");
}
