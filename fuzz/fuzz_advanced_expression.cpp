// Fuzz target: the advanced-trigger expression language (atg_compiler.h),
// compiled against a fixed name map.
//
// For each input (taken as a C string: up to the first NUL):
//  - compiling it twice, once as the data model and once as the transaction
//    layer, gives the same verdict, error text and CRC text;
//  - a failed compilation leaves no tree, an error text "offset N: ...",
//    no node counted and no port marked used;
//  - a successful one gives a tree whose every node has the operands its
//    kind needs, whose depths follow the documented rule, whose references
//    name the ports the map gives (incremental ones with their own kind),
//    whose node counts, logic-cell estimate and CRC text agree with a walk
//    of the tree, and which marks exactly the referenced ports used;
//  - the tree written back as a fully parenthesised expression with quoted
//    names compiles to the same CRC text and latency;
//  - latency coordination with a second tree raises both to the larger
//    latency and changes nothing when run again.
//
// Failures end the process with abort() after a line on stderr starting
// with "fuzz_advanced_expression: ".

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "atg_compiler.h"
#include "fuzz_support.h"

using sdr_fuzz::fail;

namespace {

// Port 0..14 are ordinary inputs, 15 and 16 incremental ones.
const int NUM_PORTS = 17;
const int NUM_INCREMENTAL = 2;

const struct {
  const char* name;
  int port;
} NAMES[] = {
    {"a", 0},       {"b", 1},          {"c", 2},       {"start", 3}, {"d[0]", 4},
    {"d[1]", 5},    {"top/sub:q$", 6}, {"bus.x", 7},   {"it's", 8},  {"back\\slash", 9},
    {"sp ace", 10}, {"rising", 11},    {"either", 12}, {"0", 13},    {"\xC3\xA9t\xC3\xA9", 14},
    {"inc0", 15},   {"inc1", 16},      {"alias_a", 0}, {"_", 1},     {"x(y)", 2},
};

ATG_ADVANCED_TRIGGER_NAME_INDEX_MAP g_map;

void build_map() {
  for (const auto& n : NAMES)
    if (!g_map.insert_table_entry(n.name, n.port)) fail("cannot fill the name map", n.name);
  g_map.set_num_trigger_nodes(NUM_PORTS);
  g_map.set_num_incremental_trigger_nodes(NUM_INCREMENTAL);
}

std::string crc_of(ATG_ADVANCED_TRIGGER_FACTORY& factory) {
  std::string text;
  ATG_ADVANCED_TRIGGER_CRC_GENERATOR generator;
  if (!generator.create_advanced_trigger_crc(factory.get_root(), &text))
    fail("the CRC text could not be made");
  return text;
}

bool compile(const char* text, ATG_ADVANCED_TRIGGER_FACTORY* factory, bool data_model) {
  factory->set_name_map(&g_map);
  factory->set_trigger_name("t");
  factory->set_instance_name("ela0");
  factory->set_trigger_level_index(1);
  g_map.clear_used_flags();
  return ATG_ADVANCED_TRIGGER_UTILITY::create_expression_tree(text, factory, data_model);
}

const ATG_ADVANCED_TRIGGER_TYPE ALL_TYPES[] = {
    ATG_NODE_CONSTANT, ATG_NODE_SIGNAL, ATG_NODE_NOT,     ATG_NODE_AND,
    ATG_NODE_XOR,      ATG_NODE_OR,     ATG_NODE_COMPARE, ATG_NODE_RISING,
    ATG_NODE_FALLING,  ATG_NODE_EITHER, ATG_NODE_OUTPUT,  ATG_NODE_INCREMENTAL_SIGNAL};

void quote(const char* name, std::string* out) {
  out->push_back('\'');
  for (const char* p = name; *p; ++p) {
    if (*p == '\'' || *p == '\\') out->push_back('\\');
    out->push_back(*p);
  }
  out->push_back('\'');
}

// Writes the expression under root twice, without recursion: as the CRC
// text the documentation describes, and as a fully parenthesised expression
// of the language.
void write_tree(const ATG_ADVANCED_TRIGGER_BASE* expression, std::string* crc, std::string* source) {
  struct FRAME {
    const ATG_ADVANCED_TRIGGER_BASE* node;
    int next;
  };
  std::vector<FRAME> stack;
  auto enter = [&](const ATG_ADVANCED_TRIGGER_BASE* node) {
    switch (node->get_type()) {
      case ATG_NODE_CONSTANT:
        *crc += node->get_value() ? "1" : "0";
        *source += node->get_value() ? "1" : "0";
        return;
      case ATG_NODE_SIGNAL:
      case ATG_NODE_INCREMENTAL_SIGNAL:
        *crc += "p" + std::to_string(node->get_port_index());
        quote(node->get_signal_name(), source);
        return;
      case ATG_NODE_NOT:
        *crc += "not(";
        *source += "!(";
        break;
      case ATG_NODE_AND:
        *crc += "and(";
        *source += "(";
        break;
      case ATG_NODE_XOR:
        *crc += "xor(";
        *source += "(";
        break;
      case ATG_NODE_OR:
        *crc += "or(";
        *source += "(";
        break;
      case ATG_NODE_COMPARE:
        *crc += "eq(";
        *source += "(";
        break;
      case ATG_NODE_RISING:
        *crc += "rising(";
        *source += "rising(";
        break;
      case ATG_NODE_FALLING:
        *crc += "falling(";
        *source += "falling(";
        break;
      case ATG_NODE_EITHER:
        *crc += "either(";
        *source += "either(";
        break;
      default:
        fail("a node of an unexpected kind inside the tree", std::to_string(node->get_type()));
    }
    stack.push_back({node, 0});
  };
  enter(expression);
  while (!stack.empty()) {
    FRAME& top = stack.back();
    const ATG_ADVANCED_TRIGGER_BASE* node = top.node;
    if (top.next < node->get_num_children()) {
      if (top.next > 0) {
        *crc += ",";
        switch (node->get_type()) {
          case ATG_NODE_AND:
            *source += " && ";
            break;
          case ATG_NODE_XOR:
            *source += " ^ ";
            break;
          default:
            *source += " || ";
        }
      }
      const ATG_ADVANCED_TRIGGER_BASE* child = node->get_child(top.next++);
      enter(child);  // may grow the stack: top is not used after this
      continue;
    }
    if (node->get_type() == ATG_NODE_COMPARE) {
      *crc += node->get_value() ? ",1" : ",0";
      *source += node->get_value() ? " == 1" : " == 0";
    }
    *crc += ")";
    *source += ")";
    stack.pop_back();
  }
}

struct WALK {
  int count[ATG_NODE_INCREMENTAL_SIGNAL + 1] = {};
  int cells = 0;
  std::vector<bool> referenced = std::vector<bool>(NUM_PORTS, false);
};

// Checks every node under root without recursion: operands per kind,
// depths, references. Fills walk.
void check_tree(ATG_ADVANCED_TRIGGER_OUTPUT* root, WALK* walk) {
  if (root->get_type() != ATG_NODE_OUTPUT || root->get_num_children() != 1 || !root->get_expression())
    fail("the root is not an output node with one operand");
  walk->count[ATG_NODE_OUTPUT] = 1;
  if (root->get_depth() != root->get_expression()->get_depth())
    fail("the root's depth is not that of its expression");
  if (root->get_pipeline_latency() != root->get_depth() + 1 || root->get_latency_delay() != 0)
    fail("a fresh root's latency is not 1 + depth");

  std::vector<const ATG_ADVANCED_TRIGGER_BASE*> pending(1, root->get_expression());
  while (!pending.empty()) {
    const ATG_ADVANCED_TRIGGER_BASE* node = pending.back();
    pending.pop_back();
    ATG_ADVANCED_TRIGGER_TYPE type = node->get_type();
    if (type < ATG_NODE_CONSTANT || type > ATG_NODE_INCREMENTAL_SIGNAL || type == ATG_NODE_OUTPUT)
      fail("a node of an unexpected kind inside the tree", std::to_string(type));
    ++walk->count[type];
    if (node->is_operator() || node->is_reference()) ++walk->cells;
    int want_children = 0;
    switch (type) {
      case ATG_NODE_NOT:
      case ATG_NODE_COMPARE:
      case ATG_NODE_RISING:
      case ATG_NODE_FALLING:
      case ATG_NODE_EITHER:
        want_children = 1;
        break;
      case ATG_NODE_AND:
      case ATG_NODE_XOR:
      case ATG_NODE_OR:
        want_children = 2;
        break;
      default:
        break;
    }
    if (node->get_num_children() != want_children)
      fail("a node has the wrong number of operands",
           "kind " + std::to_string(type) + ": " + std::to_string(node->get_num_children()));
    if (node->get_child(want_children) != nullptr || node->get_child(-1) != nullptr)
      fail("get_child answers beyond the operands");
    int depth = 0;
    for (int i = 0; i < want_children; ++i) {
      const ATG_ADVANCED_TRIGGER_BASE* child = node->get_child(i);
      if (!child) fail("a null operand");
      if (child->get_depth() + 1 > depth) depth = child->get_depth() + 1;
      pending.push_back(child);
    }
    if (node->get_depth() != depth || node->get_pipeline_latency() != depth + 1)
      fail("a node's depth or latency breaks the rule", "kind " + std::to_string(type));
    if (type == ATG_NODE_COMPARE || type == ATG_NODE_RISING || type == ATG_NODE_FALLING ||
        type == ATG_NODE_EITHER) {
      if (!node->get_child(0)->is_reference())
        fail("a comparison or edge function over something not a signal");
    }
    if ((type == ATG_NODE_CONSTANT || type == ATG_NODE_COMPARE) && node->get_value() != 0 &&
        node->get_value() != 1)
      fail("a value other than 0 or 1");
    if (node->is_reference()) {
      int port = g_map.find_index(node->get_signal_name());
      if (port < 0 || port != node->get_port_index())
        fail("a reference's port is not the map's", node->get_signal_name());
      bool incremental = port >= NUM_PORTS - NUM_INCREMENTAL;
      if (incremental != (type == ATG_NODE_INCREMENTAL_SIGNAL)) fail("a reference of the wrong kind");
      walk->referenced[static_cast<size_t>(port)] = true;
    } else if (node->get_port_index() != -1 || *node->get_signal_name()) {
      fail("a node that is not a reference has a port or a name");
    }
  }
}

void run_one(const char* text) {
  ATG_ADVANCED_TRIGGER_FACTORY first;
  bool ok = compile(text, &first, true);
  std::vector<bool> used;
  for (int port = 0; port < NUM_PORTS + 4; ++port) used.push_back(g_map.is_port_used(port));
  std::string crc = crc_of(first);

  ATG_ADVANCED_TRIGGER_FACTORY second;
  bool ok2 = compile(text, &second, false);
  if (ok2 != ok || crc_of(second) != crc || std::strcmp(first.get_error_text(), second.get_error_text()) != 0)
    fail("compiling the same text twice gave different results",
         crc + " | " + crc_of(second) + " | " + first.get_error_text() + " | " + second.get_error_text());
  if (!first.is_data_model() || second.is_data_model()) fail("the data-model flag was not recorded");

  ATG_ADVANCED_TRIGGER_LE_USAGE le;
  int cells = le.get_estimated_le_usage(first.get_root());

  if (!ok) {
    const char* error = first.get_error_text();
    if (first.get_root() || std::strncmp(error, "offset ", 7) != 0)
      fail("a failed compilation left a tree or no error text", error);
    if (crc != "none" || cells != 0) fail("a failed compilation has a CRC text or logic cells", crc);
    for (ATG_ADVANCED_TRIGGER_TYPE type : ALL_TYPES)
      if (ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(&first, type) != 0)
        fail("a failed compilation kept nodes");
    for (size_t port = 0; port < used.size(); ++port)
      if (used[port]) fail("a failed compilation marked a port used", std::to_string(port));
    return;
  }

  if (*first.get_error_text()) fail("a successful compilation has an error text", first.get_error_text());
  ATG_ADVANCED_TRIGGER_OUTPUT* root = first.get_root();
  if (!root) fail("a successful compilation has no tree");
  WALK walk;
  check_tree(root, &walk);
  for (ATG_ADVANCED_TRIGGER_TYPE type : ALL_TYPES) {
    int counted = ATG_ADVANCED_TRIGGER_UTILITY::get_node_count(&first, type);
    if (counted != walk.count[type])
      fail("the node count differs from the tree", "kind " + std::to_string(type) + ": " +
                                                       std::to_string(counted) + " vs " +
                                                       std::to_string(walk.count[type]));
  }
  if (cells != walk.cells) fail("the logic-cell estimate differs from the tree");
  for (size_t port = 0; port < used.size(); ++port) {
    bool referenced = port < walk.referenced.size() && walk.referenced[port];
    if (used[port] != referenced) fail("the used ports are not the referenced ones", std::to_string(port));
  }

  std::string expected_crc, source;
  write_tree(root->get_expression(), &expected_crc, &source);
  if (crc.empty() || crc != expected_crc) {
    sdr_fuzz::print_text("expression", text);
    fail("the CRC text is not the tree's prefix form", crc + " | expected " + expected_crc);
  }

  // The written-back form nests one parenthesis per operator; deeper trees
  // would cross the nesting limit.
  if (root->get_depth() < ATG_MAX_NESTING_DEPTH - 10) {
    ATG_ADVANCED_TRIGGER_FACTORY again;
    if (!compile(source.c_str(), &again, true) || crc_of(again) != crc ||
        again.get_root()->get_pipeline_latency() != root->get_pipeline_latency()) {
      sdr_fuzz::print_text("expression", text);
      sdr_fuzz::print_text("written back", source);
      fail("the expression written back does not compile to the same tree",
           std::string(again.get_error_text()) + " | " + crc_of(again) + " | " + crc);
    }
  }

  // Latency coordination with a tree of latency 3.
  ATG_ADVANCED_TRIGGER_FACTORY other;
  if (!compile("rising(a) && (b || 'c')", &other, true)) fail("the fixed expression does not compile");
  int longest = root->get_pipeline_latency() > 3 ? root->get_pipeline_latency() : 3;
  ATG_ADVANCED_TRIGGER_OUTPUT* roots[] = {root, nullptr, other.get_root()};
  for (int round = 0; round < 2; ++round) {
    if (!ATG_ADVANCED_TRIGGER_UTILITY::set_coordinated_latency_delay(roots, 3))
      fail("latency coordination returned false");
    if (root->get_pipeline_latency() != longest || other.get_root()->get_pipeline_latency() != longest ||
        root->get_latency_delay() != longest - (root->get_depth() + 1) ||
        other.get_root()->get_latency_delay() < 0)
      fail("latency coordination did not raise both trees to the larger latency");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  sdr_fuzz::target_name() = "fuzz_advanced_expression";
  build_map();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  run_one(text.c_str());
  return 0;
}
