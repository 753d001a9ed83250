// The condition tree of the tzo program and the tests: see tzo_tree_object.h.
// Every walk over a tree uses a work list, so that a deep tree (a long
// chain of negations read from a file) does not consume the call stack.

#include "tzo_tree_object.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "atg_compiler.h"
#include "sdr_data_mnemonics.h"
#include "sdr_tx_trigger.h"

namespace {

// Longest bus a "bus" node may describe.
const long MAX_BUS_WIDTH = 4096;

// The name as the expression language reads it: bare when it is a plain
// identifier, otherwise quoted with ' and \ escaped.
std::string signal_text(const std::string& name) {
  return ATG_ADVANCED_TRIGGER_UTILITY::signal_name_text(name, false);
}

bool is_binary(const std::string& type) {
  return type == "and" || type == "or" || type == "xor";
}

const char* operator_text(const std::string& type) {
  if (type == "or") return " || ";
  if (type == "xor") return " ^ ";
  return " && ";
}

// A part of an expression, and whether it may stand next to an operator
// without parentheses.
// A part of an equation. Negations are counted rather than prefixed one by
// one, so that a long chain of them is written in linear time.
struct PART {
  std::string text;
  bool atomic;
  size_t nots = 0;
};

std::string operand(const PART& part) {
  std::string inner = part.atomic ? part.text : "(" + part.text + ")";
  return part.nots ? std::string(part.nots, '!') + inner : inner;
}

PART join(const std::vector<PART>& parts, const char* op) {
  if (parts.size() == 1) return parts[0];
  PART result{std::string(), false};
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i) result.text += op;
    result.text += operand(parts[i]);
  }
  return result;
}

bool parse_number(const char* text, long* value) {
  if (!text || !*text) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text, &end, 0);
  if (errno != 0 || !end || *end || v < 0) return false;
  *value = v;
  return true;
}

// The term of one bus bit for a mnemonic character; empty for don't care.
std::string bit_term(char c, const std::string& name) {
  switch (c) {
    case '0':
    case 'L':
    case 'l':
      return name + " == 0";
    case '1':
    case 'H':
    case 'h':
      return name + " == 1";
    case 'R':
    case 'r':
      return "rising(" + name + ")";
    case 'F':
    case 'f':
      return "falling(" + name + ")";
    case 'E':
    case 'e':
      return "either(" + name + ")";
    default:
      return std::string();
  }
}

// Control characters of a stored attribute as \xNN.
std::string visible(const std::string& text) {
  std::string result;
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u != 0x7f) {
      result += c;
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", u);
      result += escape;
    }
  }
  return result;
}

}  // namespace

TZO_TREE_OBJECT::~TZO_TREE_OBJECT() {
  std::vector<std::unique_ptr<TZO_TREE_OBJECT>> work = std::move(m_children);
  while (!work.empty()) {
    std::unique_ptr<TZO_TREE_OBJECT> node = std::move(work.back());
    work.pop_back();
    for (auto& child : node->m_children) work.push_back(std::move(child));
    node->m_children.clear();
  }
}

SDR_TX_TREE_OBJECT* TZO_TREE_OBJECT::get_child(int index) {
  return child_at(index);
}

TZO_TREE_OBJECT* TZO_TREE_OBJECT::child_at(int index) const {
  if (index < 0 || index >= static_cast<int>(m_children.size())) return nullptr;
  return m_children[static_cast<size_t>(index)].get();
}

SDR_TX_TREE_OBJECT* TZO_TREE_OBJECT::add_child() {
  m_children.emplace_back(new TZO_TREE_OBJECT());
  return m_children.back().get();
}

TZO_TREE_OBJECT* TZO_TREE_OBJECT::add_node(const char* type, const char* name, const char* value) {
  TZO_TREE_OBJECT* node = static_cast<TZO_TREE_OBJECT*>(add_child());
  if (type) node->set_attribute("type", type);
  if (name) node->set_attribute("name", name);
  if (value) node->set_attribute("value", value);
  return node;
}

bool TZO_TREE_OBJECT::remove_child(SDR_TX_TREE_OBJECT* child) {
  auto it = std::find_if(m_children.begin(), m_children.end(),
                         [child](const std::unique_ptr<TZO_TREE_OBJECT>& c) { return c.get() == child; });
  if (it == m_children.end()) return false;
  // Taken out first, so that its destruction cannot reach this list.
  std::unique_ptr<TZO_TREE_OBJECT> gone = std::move(*it);
  m_children.erase(it);
  return true;
}

void TZO_TREE_OBJECT::set_attribute(const char* type, const char* value) {
  if (!type || !value) return;
  for (auto& attribute : m_attributes)
    if (attribute.first == type) {
      attribute.second = value;
      return;
    }
  m_attributes.emplace_back(type, value);
}

const char* TZO_TREE_OBJECT::find_attribute(const char* type) const {
  for (const auto& attribute : m_attributes)
    if (type && attribute.first == type) return attribute.second.c_str();
  return nullptr;
}

void TZO_TREE_OBJECT::report_attributes() {
  for (const auto& attribute : m_attributes) add_attribute(attribute.first.c_str(), attribute.second.c_str());
}

bool TZO_TREE_OBJECT::get_equation(std::string* out, SDR_DATA_MNEMONICS* mnemonics, SDR_TX_TRIGGER* trigger,
                                   bool flag) {
  (void)flag;
  if (!out) return false;
  out->clear();
  auto input = [trigger](const std::string& name) {
    return !name.empty() &&
           (!trigger || trigger->is_valid_advanced_trigger_condition_input_node(name.c_str()));
  };
  // A leaf's part; false when the node is not valid.
  auto leaf = [&](const TZO_TREE_OBJECT* node, const std::string& type, PART* part) {
    const std::string name = node->find_attribute("name") ? node->find_attribute("name") : "";
    const std::string value = node->find_attribute("value") ? node->find_attribute("value") : "";
    part->atomic = true;
    if (type == "const") {
      if (value != "0" && value != "1") return false;
      part->text = value;
      return true;
    }
    if (type == "bus") {
      long width = 0;
      if (name.empty() || !parse_number(node->find_attribute("width"), &width) || width < 1 ||
          width > MAX_BUS_WIDTH)
        return false;
      std::string bits;
      if (const char* table_name = node->find_attribute("table")) {
        const SDR_DATA_MNEMONICS_TABLE* table = mnemonics ? mnemonics->find_table(table_name) : nullptr;
        const char* pattern = table ? table->get_value(value.c_str()) : nullptr;
        if (!pattern) return false;
        bits = pattern;
      } else {
        long number = 0;
        if (!parse_number(value.c_str(), &number)) return false;
        for (long i = 0; i < width; ++i) bits += i < 63 && ((number >> i) & 1) ? '1' : '0';
      }
      std::vector<PART> terms;
      for (long i = 0; i < width && i < static_cast<long>(bits.size()); ++i) {
        const std::string bit = name + "[" + std::to_string(i) + "]";
        const std::string term = bit_term(bits[static_cast<size_t>(i)], signal_text(bit));
        if (term.empty()) continue;
        if (!input(bit)) return false;
        terms.push_back(PART{term, true});
      }
      *part = terms.empty() ? PART{"1", true} : join(terms, " && ");
      return true;
    }
    if (!input(name)) return false;
    if (type == "signal") {
      part->text = signal_text(name);
    } else if (type == "compare") {
      if (value != "0" && value != "1") return false;
      part->text = signal_text(name) + " == " + value;
    } else if (type == "rising" || type == "falling" || type == "either") {
      part->text = type + "(" + signal_text(name) + ")";
    } else {
      return false;
    }
    return true;
  };

  struct FRAME {
    const TZO_TREE_OBJECT* node;
    std::string type;
    size_t next;
    std::vector<PART> parts;
  };
  std::vector<FRAME> stack;
  auto type_of = [](const TZO_TREE_OBJECT* node) {
    const char* type = node->find_attribute("type");
    return std::string(type ? type : "root");
  };
  stack.push_back(FRAME{this, type_of(this), 0, {}});
  PART result{std::string(), true};
  while (!stack.empty()) {
    FRAME& frame = stack.back();
    const bool composite = frame.type == "root" || frame.type == "not" || is_binary(frame.type);
    PART part{std::string(), true};
    if (!composite) {
      if (!leaf(frame.node, frame.type, &part)) return false;
    } else if (frame.next < frame.node->m_children.size()) {
      const TZO_TREE_OBJECT* child = frame.node->m_children[frame.next++].get();
      stack.push_back(FRAME{child, type_of(child), 0, {}});
      continue;
    } else if (frame.parts.empty()) {
      return false;
    } else if (frame.type == "not") {
      if (frame.parts.size() != 1) return false;
      part = std::move(frame.parts[0]);
      ++part.nots;
    } else {
      part = join(frame.parts, operator_text(frame.type));
    }
    stack.pop_back();
    if (stack.empty())
      result = part;
    else
      stack.back().parts.push_back(std::move(part));
  }
  *out = result.nots ? operand(result) : result.text;
  return true;
}

void TZO_TREE_OBJECT::build_from_factory(ATG_ADVANCED_TRIGGER_FACTORY* factory) {
  ATG_ADVANCED_TRIGGER_OUTPUT* root = factory ? factory->get_root() : nullptr;
  if (!root || !root->get_expression()) return;
  m_attributes.clear();
  m_children.clear();
  std::vector<std::pair<const ATG_ADVANCED_TRIGGER_BASE*, TZO_TREE_OBJECT*>> work;
  work.emplace_back(root->get_expression(), this);
  while (!work.empty()) {
    const ATG_ADVANCED_TRIGGER_BASE* node = work.back().first;
    TZO_TREE_OBJECT* target = work.back().second;
    work.pop_back();
    const ATG_ADVANCED_TRIGGER_BASE* operand0 = node->get_child(0);
    const char* operand_name = operand0 ? operand0->get_signal_name() : "";
    switch (node->get_type()) {
      case ATG_NODE_CONSTANT:
        target->set_attribute("type", "const");
        target->set_attribute("value", node->get_value() ? "1" : "0");
        break;
      case ATG_NODE_SIGNAL:
      case ATG_NODE_INCREMENTAL_SIGNAL:
        target->set_attribute("type", "signal");
        target->set_attribute("name", node->get_signal_name());
        break;
      case ATG_NODE_COMPARE:
        target->set_attribute("type", "compare");
        target->set_attribute("name", operand_name);
        target->set_attribute("value", node->get_value() ? "1" : "0");
        break;
      case ATG_NODE_RISING:
      case ATG_NODE_FALLING:
      case ATG_NODE_EITHER:
        target->set_attribute("type", node->get_type() == ATG_NODE_RISING    ? "rising"
                                      : node->get_type() == ATG_NODE_FALLING ? "falling"
                                                                             : "either");
        target->set_attribute("name", operand_name);
        break;
      case ATG_NODE_NOT:
        target->set_attribute("type", "not");
        if (operand0) work.emplace_back(operand0, static_cast<TZO_TREE_OBJECT*>(target->add_child()));
        break;
      case ATG_NODE_AND:
      case ATG_NODE_OR:
      case ATG_NODE_XOR: {
        const ATG_ADVANCED_TRIGGER_TYPE kind = node->get_type();
        target->set_attribute("type", kind == ATG_NODE_AND ? "and" : kind == ATG_NODE_OR ? "or" : "xor");
        // A chain of one operator becomes one node with all its operands.
        std::vector<const ATG_ADVANCED_TRIGGER_BASE*> operands, pending{node};
        while (!pending.empty()) {
          const ATG_ADVANCED_TRIGGER_BASE* n = pending.back();
          pending.pop_back();
          if (n != node && n->get_type() != kind) {
            operands.push_back(n);
            continue;
          }
          for (int i = n->get_num_children() - 1; i >= 0; --i) pending.push_back(n->get_child(i));
        }
        for (const ATG_ADVANCED_TRIGGER_BASE* o : operands)
          if (o) work.emplace_back(o, static_cast<TZO_TREE_OBJECT*>(target->add_child()));
        break;
      }
      default:
        break;
    }
  }
}

std::string TZO_TREE_OBJECT::describe(int indent) const {
  std::string text;
  std::vector<std::pair<const TZO_TREE_OBJECT*, int>> work{{this, indent}};
  while (!work.empty()) {
    const TZO_TREE_OBJECT* node = work.back().first;
    const int depth = work.back().second;
    work.pop_back();
    const char* type = node->find_attribute("type");
    std::string line(static_cast<size_t>(std::max(depth, 0)) * 2, ' ');
    line += type ? visible(type) : "(root)";
    for (const auto& attribute : node->m_attributes)
      if (attribute.first != "type") line += " " + visible(attribute.first) + "=" + visible(attribute.second);
    text += line + "\n";
    for (size_t i = node->m_children.size(); i-- > 0;)
      work.emplace_back(node->m_children[i].get(), depth + 1);
  }
  return text;
}
