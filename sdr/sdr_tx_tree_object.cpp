// The front end's advanced-condition tree objects, and copying trees
// between them and the stored "op_node" elements.

#include "sdr_tx_tree_object.h"

#include <memory>

#include "sdr_data_trigger.h"
#include "sdr_tx_internal.h"

SDR_TX_TREE_OBJECT::SDR_TX_TREE_OBJECT() = default;
SDR_TX_TREE_OBJECT::~SDR_TX_TREE_OBJECT() = default;

void SDR_TX_TREE_OBJECT::get_attributes(SDR_DATA_STRING_PAIR_VEC* vec) {
  m_attr_vec = vec;
  report_attributes();
  m_attr_vec = nullptr;
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
  std::unique_ptr<SDR_DATA_STRING_PAIR_VEC> attributes(data_tree_obj->get_attributes());
  if (attributes) tx_tree_obj->set_attributes(attributes.get());
  for (SDR_DATA_TRIGGER_ADV_TREE_OBJ child = data_tree_obj->first_child(); !child.is_null();
       child = child.next_sibling()) {
    SDR_TX_TREE_OBJECT* tx_child = tx_tree_obj->add_child();
    if (!tx_child || !build_tx_object_tree_from_data_trigger(tx_child, &child)) return false;
  }
  return true;
}

bool SDR_TX_TREE_OBJECT::build_data_trigger_from_tx_object_tree(SDR_DATA_TRIGGER_ADV_TREE_OBJ* data_tree_obj,
                                                                SDR_TX_TREE_OBJECT* tx_tree_obj) {
  if (!SDR_CHECK_AS(tx_tree_obj != nullptr, "tx_tree_obj != NULL") ||
      !SDR_CHECK_AS(data_tree_obj != nullptr, "data_tree_obj != NULL"))
    return false;
  if (data_tree_obj->is_null()) return false;
  SDR_DATA_STRING_PAIR_VEC attributes;
  tx_tree_obj->get_attributes(&attributes);
  data_tree_obj->set_attributes(&attributes);
  for (int i = 0; i < tx_tree_obj->get_num_children(); ++i) {
    SDR_DATA_TRIGGER_ADV_TREE_OBJ child = data_tree_obj->append_child();
    if (!build_data_trigger_from_tx_object_tree(&child, tx_tree_obj->get_child(i))) return false;
  }
  return true;
}
