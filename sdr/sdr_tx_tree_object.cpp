// The front end's advanced-condition tree objects, and copying trees
// between them and the stored "op_node" elements. Both copies walk the
// trees with a work list, so a deep tree does not consume the call stack.

#include "sdr_tx_tree_object.h"

#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "sdr_data_trigger.h"
#include "sdr_tx_internal.h"

SDR_TX_TREE_OBJECT::SDR_TX_TREE_OBJECT() = default;
SDR_TX_TREE_OBJECT::~SDR_TX_TREE_OBJECT() = default;

void SDR_TX_TREE_OBJECT::get_attributes(SDR_DATA_STRING_PAIR_VEC* vec) {
  if (!vec) return;
  SDR_DATA_STRING_PAIR_VEC* previous = m_attr_vec;
  m_attr_vec = vec;
  report_attributes();
  m_attr_vec = previous;
}

void SDR_TX_TREE_OBJECT::set_attributes(SDR_DATA_STRING_PAIR_VEC* vec) {
  if (!vec) return;
  for (int i = 0; i < vec->get_num_pairs(); ++i) {
    const char* type = vec->get_type_at(i);
    const char* value = vec->get_value_at(i);
    if (!SDR_CHECK_AS(type != nullptr, "type != NULL") || !SDR_CHECK_AS(value != nullptr, "value != NULL"))
      continue;
    set_attribute(type, value);
  }
}

bool SDR_TX_TREE_OBJECT::rename_signal(const char* from, const char* to) {
  if (!from || !to) return false;
  SDR_DATA_STRING_PAIR_VEC attributes;
  get_attributes(&attributes);
  for (int i = 0; i < attributes.get_num_pairs(); ++i) {
    const char* type = attributes.get_type_at(i);
    const char* value = attributes.get_value_at(i);
    if (!type || !value || std::strcmp(type, "name") != 0) continue;
    if (std::strcmp(value, from) != 0) return false;
    set_attribute("name", to);
    return true;
  }
  return false;
}

void SDR_TX_TREE_OBJECT::add_attribute(const char* type, const char* value) {
  if (!SDR_CHECK_AS(type != nullptr, "type != NULL") || !SDR_CHECK_AS(value != nullptr, "value != NULL"))
    return;
  if (m_attr_vec) m_attr_vec->append(type, value);
}

bool SDR_TX_TREE_OBJECT::build_tx_object_tree_from_data_trigger(
    SDR_TX_TREE_OBJECT* tx_tree_obj, const SDR_DATA_TRIGGER_ADV_TREE_OBJ* data_tree_obj) {
  if (!SDR_CHECK_AS(tx_tree_obj != nullptr, "tx_tree_obj != NULL") ||
      !SDR_CHECK_AS(data_tree_obj != nullptr, "data_tree_obj != NULL"))
    return false;
  if (data_tree_obj->is_null()) return false;
  // Each element is copied into its object, then its "op_node" children
  // are added in document order and queued.
  std::vector<std::pair<SDR_TX_TREE_OBJECT*, SDR_DATA_TRIGGER_ADV_TREE_OBJ>> work;
  work.emplace_back(tx_tree_obj, *data_tree_obj);
  bool ok = true;
  while (!work.empty()) {
    SDR_TX_TREE_OBJECT* object = work.back().first;
    const SDR_DATA_TRIGGER_ADV_TREE_OBJ element = work.back().second;
    work.pop_back();
    std::unique_ptr<SDR_DATA_STRING_PAIR_VEC> attributes(element.get_attributes());
    if (attributes) object->set_attributes(attributes.get());
    std::vector<std::pair<SDR_TX_TREE_OBJECT*, SDR_DATA_TRIGGER_ADV_TREE_OBJ>> children;
    for (SDR_DATA_TRIGGER_ADV_TREE_OBJ child = element.first_child(); !child.is_null();
         child = child.next_sibling()) {
      SDR_TX_TREE_OBJECT* tx_child = object->add_child();
      if (!tx_child) {
        ok = false;
        break;
      }
      children.emplace_back(tx_child, child);
    }
    work.insert(work.end(), children.rbegin(), children.rend());
  }
  return ok;
}

bool SDR_TX_TREE_OBJECT::build_data_trigger_from_tx_object_tree(SDR_DATA_TRIGGER_ADV_TREE_OBJ* data_tree_obj,
                                                                SDR_TX_TREE_OBJECT* tx_tree_obj) {
  if (!SDR_CHECK_AS(tx_tree_obj != nullptr, "tx_tree_obj != NULL") ||
      !SDR_CHECK_AS(data_tree_obj != nullptr, "data_tree_obj != NULL"))
    return false;
  if (data_tree_obj->is_null()) return false;
  std::vector<std::pair<SDR_DATA_TRIGGER_ADV_TREE_OBJ, SDR_TX_TREE_OBJECT*>> work;
  work.emplace_back(*data_tree_obj, tx_tree_obj);
  bool ok = true;
  while (!work.empty()) {
    SDR_DATA_TRIGGER_ADV_TREE_OBJ element = work.back().first;
    SDR_TX_TREE_OBJECT* object = work.back().second;
    work.pop_back();
    SDR_DATA_STRING_PAIR_VEC attributes;
    object->get_attributes(&attributes);
    element.set_attributes(&attributes);
    // Children are appended in order; their subtrees are filled later.
    std::vector<std::pair<SDR_DATA_TRIGGER_ADV_TREE_OBJ, SDR_TX_TREE_OBJECT*>> children;
    const int count = object->get_num_children();
    for (int i = 0; i < count; ++i) {
      SDR_TX_TREE_OBJECT* child = object->get_child(i);
      if (!child) {
        ok = false;
        continue;
      }
      children.emplace_back(element.append_child(), child);
    }
    work.insert(work.end(), children.rbegin(), children.rend());
  }
  return ok;
}
