#include "sdr_data_instance.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_msgs.h"

using namespace xercesc;

namespace {

const char* const DEFAULT_ENTITY = "hdx_trazio";
const char* const DEFAULT_SOURCE = "hdx_trazio.vhd";

}  // namespace

SDR_DATA_INSTANCE::SDR_DATA_INSTANCE(DOMDocument* document, const char* name)
    : m_position(new SDR_NAMED_VALUES()), m_document(document) {
  if (!SDR_CHECK(document != NULL)) return;
  m_element = document->createElement(SDR_XSTR("instance"));
  if (name) {
    m_name.reset(new std::string(name));
    sdr_set_attribute(m_element, "name", name);
  }
  m_node_info_element = document->createElement(SDR_XSTR("node_ip_info"));
  m_element->appendChild(m_node_info_element);
  m_position_element = document->createElement(SDR_XSTR("position_info"));
  m_element->appendChild(m_position_element);
}

SDR_DATA_INSTANCE::SDR_DATA_INSTANCE(DOMDocument* document, DOMElement* element, SDR_DATA_SESSION* session)
    : m_session(session), m_position(new SDR_NAMED_VALUES()), m_document(document), m_element(element) {
  if (!SDR_CHECK(document != NULL) || !SDR_CHECK(element != NULL)) return;
  read_element();
}

SDR_DATA_INSTANCE::~SDR_DATA_INSTANCE() {
  m_signal_sets.clear();
  sdr_release_element(m_element);
}

void SDR_DATA_INSTANCE::read_element() {
  std::string text = sdr_get_attribute(m_element, "name");
  if (text.empty()) {
    SDR_MSGS::post(SDR_MSGS::wsdr_missing_name("instance"));
    return;
  }
  m_name.reset(new std::string(text));

  text = sdr_get_attribute(m_element, "entity_name");
  set_entity_name(text.empty() ? DEFAULT_ENTITY : text.c_str());
  text = sdr_get_attribute(m_element, "source_file");
  set_source_filename(text.empty() ? DEFAULT_SOURCE : text.c_str());

  text = sdr_get_attribute(m_element, "is_expanded");
  set_expanded_status(!equals_ignore_case(text, "false"));

  text = sdr_get_attribute(m_element, "is_auto_node");
  m_auto_node =
      equals_ignore_case(text, "yes") || equals_ignore_case(text, "true") || sdr_atoi(text.c_str()) >= 1;

  m_incr_cmp_mode = equals_ignore_case(sdr_get_attribute(m_element, "compilation_mode"), "incremental");

  m_node_info = SDR_DATA_INSTANCE_INFO();
  m_node_info_element = find_child_element(m_element, "node_ip_info");
  if (!m_node_info_element) {
    m_node_info_element = m_document->createElement(SDR_XSTR("node_ip_info"));
    m_element->appendChild(m_node_info_element);
  } else {
    if (sdr_has_attribute(m_node_info_element, "mfg_id"))
      m_node_info.mfg_id = sdr_atoi(sdr_get_attribute(m_node_info_element, "mfg_id").c_str());
    if (sdr_has_attribute(m_node_info_element, "node_id"))
      m_node_info.node_id =
          static_cast<unsigned char>(sdr_atoi(sdr_get_attribute(m_node_info_element, "node_id").c_str()));
    if (sdr_has_attribute(m_node_info_element, "version"))
      m_node_info.version =
          static_cast<unsigned char>(sdr_atoi(sdr_get_attribute(m_node_info_element, "version").c_str()));
    if (sdr_has_attribute(m_node_info_element, "instance_id"))
      m_node_info.instance_index =
          static_cast<unsigned char>(sdr_atoi(sdr_get_attribute(m_node_info_element, "instance_id").c_str()));
  }

  for (DOMElement* e = find_child_element(m_element, "signal_set"); e;
       e = find_next_sibling_element(e, "signal_set")) {
    sdr_adopt_read_child(m_signal_sets, new SDR_DATA_SIGNAL_SET(m_document, e, this),
                         [this](SDR_DATA_SIGNAL_SET* s) { return append(s, false); });
  }

  m_position_element = find_child_element(m_element, "position_info");
  m_position->read(m_position_element);
  m_position_element = m_position->rebuild(m_element, m_position_element, "position_info");
}

// ------------------------------------------------------------------ names

const char* SDR_DATA_INSTANCE::get_name(std::string* identifier) const {
  if (identifier) {
    identifier->clear();
    if (m_name) {
      for (char c : *m_name) identifier->push_back(std::isalnum(static_cast<unsigned char>(c)) ? c : '_');
    }
  }
  return m_name ? m_name->c_str() : nullptr;
}

bool SDR_DATA_INSTANCE::set_name(const char* name) {
  if (!SDR_CHECK(m_name != NULL) || !name) return false;
  return sdr_rename_listed(m_session, this, &m_name, name, m_element);
}

const char* SDR_DATA_INSTANCE::get_entity_name() const {
  return m_entity_name ? m_entity_name->c_str() : nullptr;
}

void SDR_DATA_INSTANCE::set_entity_name(const char* entity_name) {
  if (!SDR_CHECK(entity_name != NULL)) return;
  m_entity_name.reset(new std::string(entity_name));
  sdr_set_attribute(m_element, "entity_name", entity_name);
}

const char* SDR_DATA_INSTANCE::get_source_filename() const {
  return m_source_filename ? m_source_filename->c_str() : nullptr;
}

void SDR_DATA_INSTANCE::set_source_filename(const char* source_filename) {
  if (!SDR_CHECK(source_filename != NULL)) return;
  m_source_filename.reset(new std::string(source_filename));
  sdr_set_attribute(m_element, "source_file", source_filename);
}

void SDR_DATA_INSTANCE::set_auto_node(bool auto_node) {
  m_auto_node = auto_node;
  sdr_set_attribute(m_element, "is_auto_node", auto_node ? "yes" : "no");
}

void SDR_DATA_INSTANCE::set_incr_cmp_mode(bool incremental) {
  m_incr_cmp_mode = incremental;
  sdr_set_attribute(m_element, "compilation_mode", incremental ? "incremental" : "full");
}

bool SDR_DATA_INSTANCE::set_expanded_status(bool expanded) {
  m_expanded = expanded;
  sdr_set_attribute(m_element, "is_expanded", expanded ? "true" : "false");
  return true;
}

// --------------------------------------------------------------- identity

void SDR_DATA_INSTANCE::set_node_info(SDR_DATA_INSTANCE_INFO info) {
  m_node_info = info;
  if (!m_node_info_element) return;
  sdr_set_attribute(m_node_info_element, "mfg_id", info.mfg_id);
  sdr_set_attribute(m_node_info_element, "node_id", static_cast<int>(info.node_id));
  if (info.version != 255) sdr_set_attribute(m_node_info_element, "version", static_cast<int>(info.version));
  sdr_set_attribute(m_node_info_element, "instance_id", static_cast<int>(info.instance_index));
}

void SDR_DATA_INSTANCE::set_inferred_node_version(unsigned char version) {
  SDR_CHECK(is_version_not_defined());
  m_node_info.inferred_version = version;
}

bool SDR_DATA_INSTANCE::is_trazio_node() const {
  return m_node_info.mfg_id == 110 && (m_node_info.node_id == 0 || m_node_info.node_id == 2);
}

bool SDR_DATA_INSTANCE::is_trazio_hdl_node() const {
  return m_node_info.mfg_id == 110 && m_node_info.node_id == 2;
}

bool SDR_DATA_INSTANCE::is_current_version() const {
  return m_node_info.version == 255 || m_node_info.version == get_current_version();
}

bool SDR_DATA_INSTANCE::update_to_current_version() {
  if (is_current_version()) return false;
  m_node_info.version = static_cast<unsigned char>(get_current_version());
  sdr_set_attribute(m_node_info_element, "version", get_current_version());
  return true;
}

// ------------------------------------------------------------ signal sets

SDR_DATA_SIGNAL_SET* SDR_DATA_INSTANCE::create_signal_set(const char* name, bool global) {
  SDR_DATA_SIGNAL_SET* set =
      name ? new SDR_DATA_SIGNAL_SET(m_document, name) : new SDR_DATA_SIGNAL_SET(m_document);
  if (!global) {
    set = sdr_listed_or_dropped(set, append(set, true));
  } else {
    sdr_make_global(m_signal_sets, m_element, set);
  }
  if (set) set->set_instance(this);
  return set;
}

bool SDR_DATA_INSTANCE::append(SDR_DATA_SIGNAL_SET* signal_set, bool attach_element) {
  if (!signal_set || !m_signal_sets.append(signal_set)) return false;
  if (attach_element && m_element && !sdr_append_child(m_element, signal_set->get_dom_node())) {
    m_signal_sets.take(signal_set);
    return false;
  }
  signal_set->set_instance(this);
  return true;
}

SDR_DATA_SIGNAL_SET* SDR_DATA_INSTANCE::get_signal_set_at(int index) const {
  return m_signal_sets.at(index);
}

SDR_DATA_SIGNAL_SET* SDR_DATA_INSTANCE::find_signal_set(const char* name) const {
  return m_signal_sets.find(name);
}

SDR_DATA_SIGNAL_SET* SDR_DATA_INSTANCE::get_last_signal_set() const {
  if (m_session) {
    if (SDR_DATA_SIGNAL_SET* s = m_session->find_active_signal_set(const_cast<SDR_DATA_INSTANCE*>(this)))
      return s;
  }
  return m_signal_sets.back();
}

bool SDR_DATA_INSTANCE::insert_into_name_map(SDR_DATA_SIGNAL_SET* signal_set) {
  return m_signal_sets.insert_name(signal_set);
}

void SDR_DATA_INSTANCE::delete_from_name_map(SDR_DATA_SIGNAL_SET* signal_set) {
  m_signal_sets.remove_name(signal_set);
}

void SDR_DATA_INSTANCE::delete_from_vector(SDR_DATA_SIGNAL_SET* signal_set) {
  m_signal_sets.remove_from_list(signal_set);
}

std::unique_ptr<SDR_DATA_INSTANCE> SDR_DATA_INSTANCE::detach() {
  if (m_session) {
    m_session->delete_from_name_map(this);
    m_session->delete_from_vector(this);
    m_session = nullptr;
  }
  sdr_unlink(m_element);
  return std::unique_ptr<SDR_DATA_INSTANCE>(this);
}

void SDR_DATA_INSTANCE::remove() {
  SDR_CHECK_AS(m_element && m_element->getParentNode(), "parent != NULL");
  detach();
}

// ---------------------------------------------------------- position data

bool SDR_DATA_INSTANCE::set_position_data(const char* name, int value, bool table_only) {
  return m_position->set_single(m_position_element, name, value, table_only);
}

bool SDR_DATA_INSTANCE::set_position_data(const char* name, const int* values, int count, bool table_only) {
  return m_position->set_multi(m_position_element, name, values, count, table_only);
}

int SDR_DATA_INSTANCE::get_position_data(const char* name) const {
  return m_position->get_single(name);
}

int SDR_DATA_INSTANCE::get_position_data(const char* name, int* out) const {
  return m_position->get_multi(name, out);
}

int SDR_DATA_INSTANCE::get_position_data_count(const char* name) const {
  return m_position->get_multi(name, nullptr);
}

const std::map<std::string, int>& SDR_DATA_INSTANCE::get_single_position_data() const {
  return m_position->singles;
}

const std::map<std::string, std::vector<int>>& SDR_DATA_INSTANCE::get_multi_position_data() const {
  return m_position->multis;
}
