// Advanced trigger conditions: the "op_node" trees of the levels, their
// expressions and the compiled form.

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>
#include <xercesc/util/XMLChar.hpp>

#include "atg_compiler.h"
#include "cfg_service.h"
#include "sdr_data_instance.h"
#include "sdr_data_log.h"
#include "sdr_data_manager.h"
#include "sdr_data_mnemonics.h"
#include "sdr_data_session.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_signal_view.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"
#include "sdr_lang_parser.h"
#include "sdr_msgs.h"

using namespace xercesc;

// ------------------------------------------------------ advanced conditions

SDR_DATA_TRIGGER::LEVEL::LEVEL() = default;
SDR_DATA_TRIGGER::LEVEL::~LEVEL() = default;

void SDR_DATA_STRING_PAIR_VEC::append(const char* type, const char* value) {
  m_pairs.emplace_back(type ? type : "", value ? value : "");
}

const char* SDR_DATA_STRING_PAIR_VEC::get_type_at(int index) const {
  return index >= 0 && static_cast<size_t>(index) < m_pairs.size()
             ? m_pairs[static_cast<size_t>(index)].first.c_str()
             : nullptr;
}

const char* SDR_DATA_STRING_PAIR_VEC::get_value_at(int index) const {
  return index >= 0 && static_cast<size_t>(index) < m_pairs.size()
             ? m_pairs[static_cast<size_t>(index)].second.c_str()
             : nullptr;
}

SDR_DATA_TRIGGER_ADV_TREE_OBJ SDR_DATA_TRIGGER_ADV_TREE_OBJ::first_child() const {
  return SDR_DATA_TRIGGER_ADV_TREE_OBJ(m_element ? find_child_element(m_element, "op_node") : nullptr);
}

SDR_DATA_TRIGGER_ADV_TREE_OBJ SDR_DATA_TRIGGER_ADV_TREE_OBJ::next_sibling() const {
  return SDR_DATA_TRIGGER_ADV_TREE_OBJ(m_element ? find_next_sibling_element(m_element, "op_node") : nullptr);
}

SDR_DATA_TRIGGER_ADV_TREE_OBJ SDR_DATA_TRIGGER_ADV_TREE_OBJ::append_child() {
  if (!m_element) return SDR_DATA_TRIGGER_ADV_TREE_OBJ();
  DOMElement* child = m_element->getOwnerDocument()->createElement(SDR_XSTR("op_node"));
  m_element->appendChild(child);
  return SDR_DATA_TRIGGER_ADV_TREE_OBJ(child);
}

SDR_DATA_STRING_PAIR_VEC* SDR_DATA_TRIGGER_ADV_TREE_OBJ::get_attributes() const {
  if (!m_element) return nullptr;
  SDR_DATA_STRING_PAIR_VEC* vec = new SDR_DATA_STRING_PAIR_VEC();
  DOMNamedNodeMap* attrs = m_element->getAttributes();
  XMLSize_t n = attrs ? attrs->getLength() : 0;
  for (XMLSize_t i = 0; i < n; ++i) {
    DOMNode* a = attrs->item(i);
    vec->append(sdr_to_utf8(a->getNodeName()).c_str(), sdr_to_utf8(a->getNodeValue()).c_str());
  }
  return vec;
}

void SDR_DATA_TRIGGER_ADV_TREE_OBJ::set_attributes(const SDR_DATA_STRING_PAIR_VEC* attr_vec) {
  if (!SDR_CHECK(attr_vec != NULL) || !m_element) return;
  for (int i = 0; i < attr_vec->get_num_pairs(); ++i) {
    // A pair whose type is no attribute name is left out.
    const char* type = attr_vec->get_type_at(i);
    if (type && XMLChar1_0::isValidName(SDR_XSTR(type)))
      sdr_set_attribute(m_element, type, attr_vec->get_value_at(i));
  }
}

void SDR_DATA_TRIGGER_ADV_TREE_OBJ::reset() {
  if (!m_element) return;
  DOMNode* parent = m_element->getParentNode();
  DOMElement* fresh = m_element->getOwnerDocument()->createElement(SDR_XSTR("op_node"));
  if (parent) {
    parent->removeChild(m_element);
    sdr_release_subtree(m_element);
    parent->appendChild(fresh);
  }
  m_element = fresh;
}

SDR_DATA_TRIGGER_ADV_TREE_OBJ* SDR_DATA_TRIGGER::get_advanced_trigger_tree_root(int level) {
  if (level < 0 || level >= get_event_levels()) return nullptr;
  return m_levels[static_cast<size_t>(level)]->tree_root.get();
}

SDR_DATA_TRIGGER_ADV_TREE_OBJ* SDR_DATA_TRIGGER::recreate_advanced_trigger_tree_root(int level) {
  if (level < 0 || level >= get_event_levels()) return nullptr;
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  if (l.tree_root) {
    if (l.tree_root->is_null())
      l.tree_root.reset();
    else
      l.tree_root->reset();
  }
  if (!l.tree_root && l.element) {
    DOMElement* root = m_document->createElement(SDR_XSTR("op_node"));
    l.element->appendChild(root);
    l.tree_root.reset(new SDR_DATA_TRIGGER_ADV_TREE_OBJ(root));
  }
  return l.tree_root.get();
}

const char* SDR_DATA_TRIGGER::get_advanced_trigger_expression(int level) {
  if (level < 0 || level >= get_event_levels()) return "";
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  if (!l.expression) l.expression.reset(new std::string());
  if (l.expression->empty() && l.expression_node)
    *l.expression = sdr_to_utf8(l.expression_node->getNodeValue());
  return l.expression->c_str();
}

ATG_ADVANCED_TRIGGER_FACTORY* SDR_DATA_TRIGGER::create_factory() {
  ATG_ADVANCED_TRIGGER_FACTORY* ret = new (std::nothrow) ATG_ADVANCED_TRIGGER_FACTORY();
  if (!SDR_CHECK(ret != NULL)) return nullptr;
  if (!m_adv_trigger_name_index_map) create_name_index_map(nullptr);
  ret->set_trigger_name(get_name() ? get_name() : "");
  SDR_DATA_INSTANCE* instance = m_signals ? m_signals->get_instance() : nullptr;
  ret->set_instance_name(instance && instance->get_name() ? instance->get_name() : "");
  ret->set_name_map(m_adv_trigger_name_index_map.get());
  return ret;
}

bool SDR_DATA_TRIGGER::set_advanced_trigger_expression(int level, const char* adv_expr) {
  if (!SDR_CHECK(adv_expr != NULL)) return false;
  if (level < 0 || level >= get_event_levels()) return false;
  refresh_stale_name_map();
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  if (l.element) {
    if (DOMElement* old = find_child_element(l.element, "expression")) {
      l.element->removeChild(old);
      old->release();
    }
    DOMElement* expression = m_document->createElement(SDR_XSTR("expression"));
    l.element->appendChild(expression);
    l.expression_node = m_document->createCDATASection(SDR_XSTR(adv_expr));
    expression->appendChild(l.expression_node);
  }
  l.renames.clear();
  l.factory_tried = true;
  l.factory.reset(create_factory());
  bool ok =
      l.factory && ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(adv_expr, l.factory.get(), true);
  if (!ok) l.factory.reset();
  l.expression.reset(new std::string(adv_expr));
  return ok;
}

namespace {

// How many renames of one level can be given back.
const size_t RENAMES_KEPT = 64;

}  // namespace

bool SDR_DATA_TRIGGER::rename_advanced_signal(const char* old_name, const char* new_name) {
  if (!old_name || !*old_name || !new_name || !*new_name || std::strcmp(old_name, new_name) == 0)
    return false;
  // Instances that name their inputs by port have no wire names in their
  // expressions.
  SDR_DATA_INSTANCE* instance = m_signals ? m_signals->get_instance() : nullptr;
  const bool by_port = instance && instance->get_node_info().node_id == 2;
  // The map holds the old name: it is filled again before its next use.
  if (m_adv_trigger_name_index_map) m_name_map_stale = true;
  bool changed = false;
  for (int level = 0; !by_port && level < get_event_levels(); ++level) {
    LEVEL& l = *m_levels[static_cast<size_t>(level)];
    if (!l.expression_node && (!l.expression || l.expression->empty())) continue;
    const std::string text = get_advanced_trigger_expression(level);
    if (text.empty()) continue;
    std::string renamed;
    const RENAMED_TEXT* last = l.renames.empty() ? nullptr : &l.renames.back();
    if (last && last->after == text && last->from == new_name && last->to == old_name) {
      renamed = last->before;
      l.renames.pop_back();
    } else if (ATG_ADVANCED_TRIGGER_UTILITY::rename_signal(text, old_name, new_name, &renamed)) {
      if (l.renames.size() >= RENAMES_KEPT) l.renames.erase(l.renames.begin());
      l.renames.push_back(RENAMED_TEXT{text, renamed, old_name, new_name});
    } else {
      continue;
    }
    // The CDATA keeps its place in the level.
    if (l.expression_node) l.expression_node->setNodeValue(SDR_XSTR(renamed));
    *l.expression = renamed;
    // Compiled again from the new text, against the wires' present names.
    l.factory.reset();
    l.factory_tried = false;
    changed = true;
  }
  if (changed && m_finalized) {
    if (m_name_map_stale)
      refresh_stale_name_map();
    else
      coordinate_levels();
  }
  return changed;
}

void SDR_DATA_TRIGGER::refresh_stale_name_map() {
  if (!m_name_map_stale) return;
  // The compiled levels resolved the old names and marked their ports in
  // the old table: they compile again, and keep their latencies aligned.
  create_name_index_map(nullptr);
  for (const std::unique_ptr<LEVEL>& l : m_levels) {
    l->factory.reset();
    l->factory_tried = false;
  }
  if (m_finalized) coordinate_levels();
}

void SDR_DATA_TRIGGER::coordinate_levels() {
  std::vector<ATG_ADVANCED_TRIGGER_OUTPUT*> roots(m_levels.size(), nullptr);
  for (int level = 0; level < get_event_levels(); ++level) {
    if (m_levels[static_cast<size_t>(level)]->basic) continue;
    ATG_ADVANCED_TRIGGER_FACTORY* factory = get_advanced_trigger_factory(level);
    roots[static_cast<size_t>(level)] = factory ? factory->get_root() : nullptr;
  }
  ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(roots.data(), static_cast<int>(roots.size()));
}

ATG_ADVANCED_TRIGGER_FACTORY* SDR_DATA_TRIGGER::get_advanced_trigger_factory(int level) {
  refresh_stale_name_map();
  if (!m_adv_trigger_name_index_map) create_name_index_map(nullptr);
  if (level < 0 || level >= get_event_levels()) return nullptr;
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  if (!l.factory && !l.factory_tried) {
    std::string text = get_advanced_trigger_expression(level);
    l.factory.reset(create_factory());
    if (l.factory) {
      l.factory->set_trigger_level_index(level);
      if (!ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(text.c_str(), l.factory.get(), true))
        l.factory.reset();
    }
    l.factory_tried = true;
  }
  return l.factory.get();
}

const char* SDR_DATA_TRIGGER::get_advanced_trigger_crc_string(int level) {
  if (level < 0 || level >= get_event_levels()) return "";
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  if (!l.crc_text) l.crc_text.reset(new std::string());
  if (l.crc_text->empty()) {
    ATG_ADVANCED_TRIGGER_FACTORY* factory = get_advanced_trigger_factory(level);
    ATG_ADVANCED_TRIGGER_CRC_GENERATOR generator;
    generator.create_advanced_trigger_crc(factory ? factory->get_root() : nullptr, l.crc_text.get());
  }
  return l.crc_text->c_str();
}

bool SDR_DATA_TRIGGER::create_name_index_map(ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* map) {
  if (!map) {
    if (!m_adv_trigger_name_index_map)
      m_adv_trigger_name_index_map.reset(new ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP());
    map = m_adv_trigger_name_index_map.get();
    m_name_map_stale = false;
  }
  map->clear_table();
  int width = m_signals ? m_signals->get_trigger_wire_width() : 0;
  int non_incremental = 0;
  SDR_DATA_INSTANCE* instance = m_signals ? m_signals->get_instance() : nullptr;
  if (instance && instance->get_node_info().node_id == 2) {
    char name[48];
    for (int i = 0; i < width; ++i) {
      std::snprintf(name, sizeof name, "acq_trigger_in[%d]", i);
      map->insert_table_entry(name, i);
    }
    non_incremental = width;
  } else {
    for (int i = 0; i < width; ++i) {
      SDR_DATA_SIGNAL_WIRE* wire = m_signals->get_trigger_wire_at(i);
      if (wire->get_name()) map->insert_table_entry(wire->get_name(), i);
      if (wire->get_alias()) map->insert_table_entry(wire->get_alias(), i);
      if (wire->get_tap_mode() == SDR_MTYPE_CLASSIC_TAP) ++non_incremental;
    }
  }
  int ela_width = m_signals ? m_signals->get_ela_trigger_wire_width() : 0;
  map->set_num_trigger_nodes(ela_width);
  map->set_num_incremental_trigger_nodes(ela_width - non_incremental);
  map->clear_used_flags();
  return true;
}

bool SDR_DATA_TRIGGER::finalize_triggers() {
  if (m_finalized) return false;
  m_finalized = true;
  std::vector<ATG_ADVANCED_TRIGGER_OUTPUT*> roots(m_levels.size(), nullptr);
  bool any_basic = false;
  for (int level = 0; level < get_event_levels(); ++level) {
    if (m_levels[static_cast<size_t>(level)]->basic) {
      any_basic = true;
      continue;
    }
    ATG_ADVANCED_TRIGGER_FACTORY* factory = get_advanced_trigger_factory(level);
    roots[static_cast<size_t>(level)] = factory ? factory->get_root() : nullptr;
  }
  ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(roots.data(), static_cast<int>(roots.size()));
  // Without a level there are no ports to report unused.
  if (any_basic || m_levels.empty()) return true;
  if (!SDR_CHECK(m_adv_trigger_name_index_map != NULL)) return true;
  ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP* map = m_adv_trigger_name_index_map.get();
  if (map->all_signals_used()) return true;
  for (int port = 0; port < map->get_trigger_port_width(); ++port) {
    if (map->is_port_used(port)) continue;
    const char* alias = m_signals ? m_signals->get_trigger_wire_alias_at(port) : nullptr;
    SDR_MSGS::post(SDR_MSGS::wsdr_trigger_not_used(alias ? alias : "", get_name() ? get_name() : ""));
  }
  return true;
}
