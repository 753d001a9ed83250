#include "sdr_data_session.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/PlatformUtils.hpp>

#include "path_util.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_load.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"
#include "sdr_tzo_signal_set.h"

using namespace xercesc;

namespace {

const char* const LEGACY_PREFIX = "[@\\TZO=";

bool is_legacy_text(const std::string& bytes) {
  // Only the first line counts, at most 255 characters of it.
  size_t n = std::strlen(LEGACY_PREFIX);
  if (bytes.size() < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char c = bytes[i];
    if (c == '\n') return false;
    char a = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (a != LEGACY_PREFIX[i]) return false;
  }
  return true;
}

std::string absolute_file_path(const char* path) {
  return PATH_UTIL::make_absolute(path ? path : "");
}

}  // namespace

SDR_DATA_SESSION::PLATFORM_REF::PLATFORM_REF() {
  XMLPlatformUtils::Initialize();
}
SDR_DATA_SESSION::PLATFORM_REF::~PLATFORM_REF() {
  XMLPlatformUtils::Terminate();
}

SDR_DATA_SESSION::SDR_DATA_SESSION() {
  init_container();
  create_new_doc();
}

SDR_DATA_SESSION::SDR_DATA_SESSION(const char* path) {
  init_container();
  if (!SDR_CHECK(path != NULL)) return;
  if (!PATH_UTIL::exists(path)) return;
  parse(path);
}

SDR_DATA_SESSION::~SDR_DATA_SESSION() {
  del_container();
  if (m_owns_document && m_document) m_document->release();
  m_document = nullptr;
  m_parse.reset();
}

void SDR_DATA_SESSION::init_container() {
  m_globals.reset(new SDR_NAMED_VALUES());
}

void SDR_DATA_SESSION::del_container() {
  m_instances.clear();
  m_globals.reset(new SDR_NAMED_VALUES());
  m_active_tree_map.reset();
  m_mnemonics.reset();
}

void SDR_DATA_SESSION::create_new_doc() {
  static const XMLCh core[] = {'C', 'o', 'r', 'e', 0};
  DOMImplementation* impl = DOMImplementationRegistry::getDOMImplementation(core);
  m_document = impl->createDocument(nullptr, SDR_XSTR("session"), nullptr);
  m_owns_document = true;
  m_root = m_document->getDocumentElement();
  sdr_set_edit_counter(m_document, &m_edit_count);
  m_display_tree = m_document->createElement(SDR_XSTR("display_tree"));
  m_root->appendChild(m_display_tree);
  m_global_info = m_document->createElement(SDR_XSTR("global_info"));
  m_root->appendChild(m_global_info);
}

bool SDR_DATA_SESSION::open(const char* path) {
  if (!SDR_CHECK(path != NULL)) return false;
  set_name(path);
  return parse(path);
}

// Reads the file and builds the session over its document. A legacy text
// file is imported instead.
bool SDR_DATA_SESSION::parse(const char* path) {
  // Start from an empty session whatever was held before.
  del_container();
  init_container();
  if (m_owns_document && m_document) m_document->release();
  m_document = nullptr;
  m_owns_document = false;
  m_root = m_display_tree = m_global_info = m_embedded_files = nullptr;
  m_parse.reset();

  // The file is parsed from its descriptor; only its first line is read
  // here, for the legacy check.
  std::string head;
  std::string error;
  m_parse.reset(new SDR_XML_PARSE_CONTEXT());
  if (!m_parse->open_file(path, &head, &error)) {
    m_parse.reset();
    SDR_MSGS::post(SDR_MSGS::esdr_source_generic(path, error.c_str()));
    create_new_doc();
    return false;
  }
  if (is_legacy_text(head)) {
    m_parse.reset();
    set_name(path);
    create_new_doc();
    parse_tzo_file();
    return true;
  }

  DOMDocument* doc = m_parse->parse_file(&error);
  if (!doc) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_generic(path, error.c_str()));
    m_parse.reset();
    create_new_doc();
    return false;
  }
  return build(doc, path);
}

// An imported legacy file is read back from its stored form: saving it,
// loading that and saving again gives the same bytes, whichever way the
// import was reached.
bool SDR_DATA_SESSION::parse_tzo_file() {
  const bool ok = import_tzo_file();
  settle_imported();
  return ok;
}

void SDR_DATA_SESSION::settle_imported() {
  if (!m_name) return;
  const std::string path = *m_name;
  std::string text;
  if (!write_to_string(&text)) return;
  std::unique_ptr<SDR_XML_PARSE_CONTEXT> context(new SDR_XML_PARSE_CONTEXT());
  std::string error;
  DOMDocument* doc = context->parse(text.data(), text.size(), path.c_str(), &error);
  if (!SDR_CHECK(doc != NULL)) return;
  del_container();
  init_container();
  if (m_owns_document && m_document) m_document->release();
  m_document = nullptr;
  m_owns_document = false;
  m_root = m_display_tree = m_global_info = m_embedded_files = nullptr;
  m_parse = std::move(context);
  build(doc, path.c_str());
}

bool SDR_DATA_SESSION::build(DOMDocument* doc, const char* path) {
  m_document = doc;
  sdr_set_edit_counter(m_document, &m_edit_count);
  m_root = doc->getDocumentElement();
  if (!m_root) {
    SDR_MSGS::post(SDR_MSGS::esdr_source_invalid_format());
    set_name(path);
    return true;
  }
  set_name(path);

  std::string text = sdr_get_attribute(m_root, "jtag_chain");
  if (!text.empty()) m_jtag_chain.reset(new std::string(text));
  text = sdr_get_attribute(m_root, "jtag_device");
  if (!text.empty()) m_jtag_device.reset(new std::string(text));
  text = sdr_get_attribute(m_root, "bix_file");
  if (!text.empty()) {
    if (!PATH_UTIL::is_absolute(text)) {
      std::string dir = PATH_UTIL::full_directory(absolute_file_path(path));
      text = PATH_UTIL::simplify(PATH_UTIL::join(dir, text));
    }
    m_bix_file.reset(new std::string(text));
  }

  if (DOMElement* mnemonics = find_child_element(m_root, "mnemonics"))
    m_mnemonics.reset(new SDR_DATA_MNEMONICS(m_document, mnemonics));
  m_embedded_files = find_child_element(m_root, "embedded_bix_files");

  for (DOMElement* e = find_child_element(m_root, "instance"); e;
       e = find_next_sibling_element(e, "instance")) {
    SDR_DATA_INSTANCE* instance = new SDR_DATA_INSTANCE(m_document, e, this);
    if (!append(instance, false)) {
      // A nameless instance was reported while reading; a taken name here.
      if (instance->get_name()) SDR_MSGS::post(SDR_MSGS::wsdr_duplicate_name(instance->get_name()));
      delete instance;
      continue;
    }
    instance->set_session(this);
  }

  // A missing "display_tree" goes before the rebuilt "global_info", where a
  // second load finds them both: one load and save gives the stable layout.
  m_display_tree = find_child_element(m_root, "display_tree");
  const bool had_display_tree = m_display_tree != nullptr;
  if (!had_display_tree) {
    m_display_tree = m_document->createElement(SDR_XSTR("display_tree"));
    m_root->appendChild(m_display_tree);
  }

  m_global_info = find_child_element(m_root, "global_info");
  m_globals->read(m_global_info);
  m_global_info = m_globals->rebuild(m_root, m_global_info, "global_info");

  if (had_display_tree) read_display_tree();
  return true;
}

bool SDR_DATA_SESSION::save(bool lock) {
  if (!m_name) return false;
  std::string name = *m_name;
  return save_as(name.c_str(), lock, false);
}

bool SDR_DATA_SESSION::save_as(const char* path, bool lock, bool keep_name) {
  if (!path || !*path || !m_document) return false;
  if (!SDR_DATA_XML_WRITER::is_writable_target(path)) return false;

  // The programming file is written relative to the file's directory.
  std::unique_ptr<std::string> old_member(m_bix_file ? new std::string(*m_bix_file) : nullptr);
  bool had_attribute = m_root && m_root->getAttributeNode(SDR_XSTR("bix_file")) != nullptr;
  std::string old_attribute = sdr_get_attribute(m_root, "bix_file");

  std::string remembered = m_bix_file ? *m_bix_file : std::string();
  std::string relative =
      remembered.empty()
          ? std::string()
          : PATH_UTIL::relative_to(remembered, PATH_UTIL::full_directory(absolute_file_path(path)));
  set_bix_file_name(relative.c_str());

  bool ok = SDR_DATA_XML_WRITER::write_file(m_document, path, lock);
  if (!ok) {
    // Nothing was written: the session stays as it was.
    m_bix_file = std::move(old_member);
    if (had_attribute) {
      sdr_set_attribute(m_root, "bix_file", old_attribute.c_str());
    } else {
      sdr_remove_attribute(m_root, "bix_file");
    }
    return false;
  }
  if (!keep_name) set_name(path);
  set_bix_file_name(remembered.c_str());
  return true;
}

bool SDR_DATA_SESSION::write_to_string(std::string* out) const {
  if (!SDR_CHECK(out != NULL) || !m_document) return false;
  out->clear();
  return SDR_DATA_XML_WRITER::write(m_document, out);
}

// ------------------------------------------------------------- properties

static const char* opt(const std::unique_ptr<std::string>& s) {
  return s ? s->c_str() : nullptr;
}

const char* SDR_DATA_SESSION::get_name() const {
  return opt(m_name);
}
void SDR_DATA_SESSION::set_name(const char* name) {
  m_name.reset(name ? new std::string(name) : nullptr);
}
const char* SDR_DATA_SESSION::get_jtag_chain_name() const {
  return opt(m_jtag_chain);
}
const char* SDR_DATA_SESSION::get_jtag_device_name() const {
  return opt(m_jtag_device);
}
const char* SDR_DATA_SESSION::get_bix_file_name() const {
  return opt(m_bix_file);
}

void SDR_DATA_SESSION::set_root_attribute(const char* name, const std::string* value) {
  if (m_root) sdr_set_attribute(m_root, name, value ? value->c_str() : "");
}

void SDR_DATA_SESSION::set_jtag_chain_name(const char* name) {
  m_jtag_chain.reset(new std::string(name ? name : ""));
  set_root_attribute("jtag_chain", m_jtag_chain.get());
}

void SDR_DATA_SESSION::set_jtag_device_name(const char* name) {
  m_jtag_device.reset(new std::string(name ? name : ""));
  set_root_attribute("jtag_device", m_jtag_device.get());
}

void SDR_DATA_SESSION::set_bix_file_name(const char* name) {
  m_bix_file.reset(new std::string(name ? name : ""));
  set_root_attribute("bix_file", m_bix_file.get());
}

// ----------------------------------------------------------- global values

bool SDR_DATA_SESSION::set_global_data(const char* name, int value, bool table_only) {
  return m_globals->set_single(m_global_info, name, value, table_only);
}

bool SDR_DATA_SESSION::set_global_data(const char* name, const int* values, int count, bool table_only) {
  return m_globals->set_multi(m_global_info, name, values, count, table_only);
}

int SDR_DATA_SESSION::get_global_data(const char* name) const {
  return m_globals->get_single(name);
}

int SDR_DATA_SESSION::get_global_data(const char* name, int* out) const {
  return m_globals->get_multi(name, out);
}

int SDR_DATA_SESSION::get_global_data_count(const char* name) const {
  return m_globals->get_multi(name, nullptr);
}

const std::map<std::string, int>& SDR_DATA_SESSION::get_global_singles() const {
  return m_globals->singles;
}

const std::map<std::string, std::vector<int>>& SDR_DATA_SESSION::get_global_multis() const {
  return m_globals->multis;
}

// ------------------------------------------------------------ display tree

void SDR_DATA_SESSION::read_display_tree() {
  m_active_tree_map.reset(new std::map<SDR_DATA_INSTANCE*, ACTIVE_TREE_BRANCH>());
  bool logging = is_gui_logging_enabled();
  for (DOMElement* e = find_child_element(m_display_tree, "display_branch"); e;
       e = find_next_sibling_element(e, "display_branch")) {
    SDR_DATA_INSTANCE* instance = find_instance(sdr_get_attribute(e, "instance").c_str());
    if (!instance) continue;
    ACTIVE_TREE_BRANCH branch;
    if (!logging && instance->get_global_signal_set()) {
      // Without GUI logging the front end shows its temporary selections.
      branch.signal_set = instance->get_global_signal_set();
      branch.trigger = branch.signal_set->get_global_trigger();
      if (branch.trigger) branch.log = branch.trigger->get_global_log();
    } else {
      std::string name = sdr_get_attribute(e, "signal_set");
      branch.signal_set = name == "USE_GLOBAL_TEMP" ? instance->get_global_signal_set()
                                                    : instance->find_signal_set(name.c_str());
      if (branch.signal_set) {
        name = sdr_get_attribute(e, "trigger");
        branch.trigger = name == "USE_GLOBAL_TEMP" ? branch.signal_set->get_global_trigger()
                                                   : branch.signal_set->find_trigger(name.c_str());
      }
      if (branch.trigger) {
        name = sdr_get_attribute(e, "log");
        branch.log = name == "USE_GLOBAL_TEMP" ? branch.trigger->get_global_log()
                                               : branch.trigger->find_log(name.c_str());
      }
    }
    if (branch.signal_set) m_active_tree_map->emplace(instance, branch);
  }
}

void SDR_DATA_SESSION::reset_active_tree() {
  m_active_tree_map.reset(new std::map<SDR_DATA_INSTANCE*, ACTIVE_TREE_BRANCH>());
  if (!m_display_tree) return;
  // Every "display_branch" at any depth goes.
  std::vector<DOMElement*> doomed;
  static const XMLCh branch_tag[] = u"display_branch";
  sdr_walk_elements(m_display_tree, [&](DOMElement* e) {
    if (XMLString::equals(e->getNodeName(), branch_tag)) doomed.push_back(e);
    return false;
  });
  // Innermost first, so that no branch is freed before one inside it.
  for (auto it = doomed.rbegin(); it != doomed.rend(); ++it) {
    sdr_unlink(*it);
    sdr_release_subtree(*it);
  }
}

bool SDR_DATA_SESSION::add_active_branch(SDR_DATA_TRIGGER* trigger) {
  if (!SDR_CHECK(trigger != NULL)) return false;
  return add_branch(trigger, nullptr);
}

bool SDR_DATA_SESSION::add_active_branch(SDR_DATA_LOG* log) {
  if (!SDR_CHECK(log != NULL)) return false;
  if (!SDR_CHECK(log->get_trigger() != NULL)) return false;
  return add_branch(log->get_trigger(), log);
}

bool SDR_DATA_SESSION::add_branch(SDR_DATA_TRIGGER* trigger, SDR_DATA_LOG* log) {
  if (!SDR_CHECK(m_active_tree_map != NULL)) return false;
  SDR_DATA_SIGNAL_SET* signal_set = trigger->get_signal_set();
  SDR_DATA_INSTANCE* instance = signal_set ? signal_set->get_instance() : nullptr;
  if (!SDR_CHECK(instance != NULL)) return false;
  ACTIVE_TREE_BRANCH branch;
  branch.signal_set = signal_set;
  branch.trigger = trigger;
  branch.log = log;
  if (!m_active_tree_map->emplace(instance, branch).second) return false;
  if (m_display_tree) {
    DOMElement* e = m_document->createElement(SDR_XSTR("display_branch"));
    m_display_tree->appendChild(e);
    sdr_set_attribute(e, "instance", instance->get_name());
    sdr_set_attribute(e, "signal_set",
                      signal_set->is_global_temp() ? "USE_GLOBAL_TEMP" : signal_set->get_name());
    sdr_set_attribute(e, "trigger", trigger->is_global_temp() ? "USE_GLOBAL_TEMP" : trigger->get_name());
    if (log) sdr_set_attribute(e, "log", log->is_global_temp() ? "USE_GLOBAL_TEMP" : log->get_name());
  }
  return true;
}

void SDR_DATA_SESSION::forget_active(const SDR_DATA_SIGNAL_SET* signal_set) {
  if (!m_active_tree_map || !signal_set) return;
  for (auto it = m_active_tree_map->begin(); it != m_active_tree_map->end();)
    it = it->second.signal_set == signal_set ? m_active_tree_map->erase(it) : std::next(it);
}

void SDR_DATA_SESSION::forget_active(const SDR_DATA_TRIGGER* trigger) {
  if (!m_active_tree_map || !trigger) return;
  for (auto& entry : *m_active_tree_map) {
    if (entry.second.trigger != trigger) continue;
    entry.second.trigger = nullptr;
    entry.second.log = nullptr;
  }
}

void SDR_DATA_SESSION::forget_active(const SDR_DATA_LOG* log) {
  if (!m_active_tree_map || !log) return;
  for (auto& entry : *m_active_tree_map)
    if (entry.second.log == log) entry.second.log = nullptr;
}

SDR_DATA_MNEMONICS* SDR_DATA_SESSION::get_mnemonics() {
  if (!m_mnemonics && m_document && m_root) {
    m_mnemonics.reset(new SDR_DATA_MNEMONICS(m_document));
    m_root->appendChild(m_mnemonics->get_dom_node());
  }
  return m_mnemonics.get();
}

static const SDR_DATA_SESSION::ACTIVE_TREE_BRANCH* find_branch(
    const std::map<SDR_DATA_INSTANCE*, SDR_DATA_SESSION::ACTIVE_TREE_BRANCH>* map,
    SDR_DATA_INSTANCE* instance) {
  if (!map) return nullptr;
  auto it = map->find(instance);
  return it == map->end() ? nullptr : &it->second;
}

SDR_DATA_SIGNAL_SET* SDR_DATA_SESSION::find_active_signal_set(SDR_DATA_INSTANCE* instance) const {
  const ACTIVE_TREE_BRANCH* b = find_branch(m_active_tree_map.get(), instance);
  return b ? b->signal_set : nullptr;
}

SDR_DATA_TRIGGER* SDR_DATA_SESSION::find_active_trigger(SDR_DATA_INSTANCE* instance) const {
  const ACTIVE_TREE_BRANCH* b = find_branch(m_active_tree_map.get(), instance);
  return b ? b->trigger : nullptr;
}

SDR_DATA_LOG* SDR_DATA_SESSION::find_active_log(SDR_DATA_INSTANCE* instance) const {
  const ACTIVE_TREE_BRANCH* b = find_branch(m_active_tree_map.get(), instance);
  return b ? b->log : nullptr;
}

// --------------------------------------------------------------- instances

SDR_DATA_INSTANCE* SDR_DATA_SESSION::create_instance(const char* name) {
  if (!m_document) return nullptr;
  SDR_DATA_INSTANCE* instance = new SDR_DATA_INSTANCE(m_document, name);
  if (!append(instance, true)) {
    SDR_MSGS::post(SDR_MSGS::wsdr_duplicate_name(name ? name : ""));
    delete instance;
    return nullptr;
  }
  instance->set_session(this);
  return instance;
}

SDR_DATA_INSTANCE* SDR_DATA_SESSION::create_trazio_instance(const char* name) {
  SDR_DATA_INSTANCE* instance = create_instance(name ? name : "");
  if (!instance) return nullptr;
  instance->set_entity_name("hdx_trazio");
  instance->set_source_filename("hdx_trazio.vhd");
  instance->set_auto_node(true);

  SDR_DATA_INSTANCE_INFO info;
  info.mfg_id = 110;
  info.node_id = 0;
  info.version = 3;
  info.inferred_version = 255;
  if (m_instances.size() == 1) {
    info.instance_index = 0;
  } else {
    int largest = 0;
    for (int i = 0; i < m_instances.size(); ++i) {
      SDR_DATA_INSTANCE_INFO o = m_instances.at(i)->get_node_info();
      if (o.mfg_id == 110 && o.node_id == 0 && o.version == 3 && o.instance_index > largest)
        largest = o.instance_index;
    }
    info.instance_index = static_cast<unsigned char>(largest + 1);
  }
  instance->set_node_info(info);

  if (!name) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "auto_trazio_%d", static_cast<int>(info.instance_index));
    // The counter is bounded by the number of instances, each of which can
    // hold at most one of the candidate names.
    for (int counter = 0; !instance->set_name(buf); ++counter)
      std::snprintf(buf, sizeof buf, "auto_trazio_%d (%d)", static_cast<int>(info.instance_index), counter);
  }
  return instance;
}

bool SDR_DATA_SESSION::append(SDR_DATA_INSTANCE* instance, bool attach_element) {
  if (!instance || !m_instances.append(instance)) return false;
  if (attach_element && m_root && !sdr_append_child(m_root, instance->get_dom_node())) {
    m_instances.take(instance);
    return false;
  }
  instance->set_session(this);
  return true;
}

SDR_DATA_INSTANCE* SDR_DATA_SESSION::find_instance(const char* name) const {
  return m_instances.find(name);
}

SDR_DATA_INSTANCE* SDR_DATA_SESSION::get_instance_at(int index) const {
  return m_instances.at(index);
}

void SDR_DATA_SESSION::delete_from_vector(SDR_DATA_INSTANCE* instance) {
  if (m_active_tree_map) m_active_tree_map->erase(instance);
  m_instances.remove_from_list(instance);
}

void SDR_DATA_SESSION::delete_from_name_map(SDR_DATA_INSTANCE* instance) {
  m_instances.remove_name(instance);
}

bool SDR_DATA_SESSION::insert_into_name_map(SDR_DATA_INSTANCE* instance) {
  return m_instances.insert_name(instance);
}

bool SDR_DATA_SESSION::is_gui_logging_enabled() const {
  if (!m_display_tree) return true;
  std::string v = sdr_get_attribute(m_display_tree, "gui_logging_enabled");
  return v.empty() || v[0] == '1';
}

void SDR_DATA_SESSION::set_gui_logging(bool enabled) {
  if (!SDR_CHECK(m_display_tree != NULL)) return;
  sdr_set_attribute(m_display_tree, "gui_logging_enabled", enabled ? "1" : "0");
}
