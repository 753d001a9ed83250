// The basic condition text of a trigger level: made from the conditions and
// the signal set's term names, written into the level's text node whole or
// patched in place for one changed condition.

#include <cstring>
#include <string>
#include <typeinfo>
#include <vector>
#include <xercesc/dom/DOM.hpp>
#include <xercesc/util/XMLString.hpp>

// The text node's own buffer, for patching a level text in place; the pool
// header needs XMLString first.
#include <xercesc/dom/impl/DOMStringPool.hpp>
#include <xercesc/dom/impl/DOMTextImpl.hpp>

#include "sdr_data_global_enum.h"
#include "sdr_data_signal_set.h"
#include "sdr_data_trigger.h"
#include "sdr_data_xml_util.h"
#include "sdr_internal.h"

using namespace xercesc;

// The words of a condition text in one encoding: the joiners and the
// condition names, made once.
template <class STRING>
struct SDR_DATA_TRIGGER::TEXT_WORDS {
  STRING and_word;
  STRING equals_word;
  STRING conditions[SDR_TCOND_DONT_CARE + 1];

  static STRING make(const char* text) { return STRING(text, text + std::strlen(text)); }
  // A condition's name, as the file writes it.
  static STRING word(SDR_DATA_TRIGGER_CONDITION c) {
    const char* text = "";
    SDR_DATA_GLOBAL_ENUM::convert_enum_to_string(c, &text);
    return make(text);
  }

  TEXT_WORDS() : and_word(make(" && ")), equals_word(make(" == ")) {
    for (int c = 0; c <= SDR_TCOND_DONT_CARE; ++c)
      conditions[c] = word(static_cast<SDR_DATA_TRIGGER_CONDITION>(c));
  }

  static const TEXT_WORDS& get() {
    static const TEXT_WORDS words;
    return words;
  }
};

// Hands the pieces of the level's text to out(data, length) in order:
// "'name' == condition" for every wire whose condition is not "don't
// care", joined by " && ". terms and at are the signal set's quoted names
// in the encoding of STRING.
template <class STRING, class OUT>
void SDR_DATA_TRIGGER::for_each_text_piece(const LEVEL& l, const STRING& terms, const std::vector<size_t>& at,
                                           OUT out) const {
  const TEXT_WORDS<STRING>& words = TEXT_WORDS<STRING>::get();
  size_t width = m_signals ? static_cast<size_t>(m_signals->get_trigger_wire_width()) : 0;
  if (width > l.conditions.size()) width = l.conditions.size();
  if (width + 1 > at.size()) width = at.empty() ? 0 : at.size() - 1;
  bool first = true;
  for (size_t i = 0; i < width; ++i) {
    const SDR_DATA_TRIGGER_CONDITION c = l.conditions[i];
    if (c == SDR_TCOND_DONT_CARE) continue;
    // A wire without a name cannot be referred to by a text.
    const size_t begin = at[i], end = at[i + 1];
    if (begin == end) continue;
    if (!first) out(words.and_word.data(), words.and_word.size());
    first = false;
    out(terms.data() + begin, end - begin);
    out(words.equals_word.data(), words.equals_word.size());
    if (c >= 0 && c <= SDR_TCOND_DONT_CARE) {
      out(words.conditions[c].data(), words.conditions[c].size());
    } else {
      const STRING word = TEXT_WORDS<STRING>::word(c);
      out(word.data(), word.size());
    }
  }
}

const char* SDR_DATA_TRIGGER::get_condition_text(int level) {
  m_text.clear();
  if (level < 0 || level >= get_event_levels() || !m_signals) return m_text.c_str();
  const SDR_DATA_SIGNAL_SET::TERM_NAMES& names = m_signals->term_names();
  for_each_text_piece(*m_levels[static_cast<size_t>(level)], names.terms8, names.at8,
                      [this](const char* p, size_t n) { m_text.append(p, n); });
  return m_text.c_str();
}

void SDR_DATA_TRIGGER::write_condition_text(int level) {
  LEVEL& l = *m_levels[static_cast<size_t>(level)];
  if (!l.text_node) {
    if (!SDR_CHECK_AS(l.element != NULL, "m_vec_dom_level[level_index] != NULL")) return;
    l.text_node = m_document->createTextNode(SDR_XSTR(""));
    l.element->insertBefore(l.text_node, l.element->getFirstChild());
  }
  static const std::u16string no_terms;
  static const std::vector<size_t> no_at;
  const SDR_DATA_SIGNAL_SET::TERM_NAMES* names = m_signals ? &m_signals->term_names() : nullptr;
  const std::u16string& terms = names ? names->terms16 : no_terms;
  const std::vector<size_t>& at = names ? names->at16 : no_at;

  // The text is made in the DOM's encoding directly. A text node's buffer
  // only grows, so a text no longer than the longest one this level wrote
  // into the same node fits in place: it goes in in small pieces (set,
  // then appended), and a rewrite of a long text passes through no copy
  // of its own. A longer text is made whole and set at once.
  size_t length = 0;
  for_each_text_piece(l, terms, at, [&length](const char16_t*, size_t n) { length += n; });
  if (l.text_room_node != l.text_node) {
    l.text_room_node = l.text_node;
    l.text_room = 0;
  }
  // The text written, as patch_condition_text finds it next time.
  auto synced = [&]() {
    l.synced_node = &typeid(*l.text_node) == &typeid(DOMTextImpl) && names ? l.text_node : nullptr;
    l.synced_names = names ? names->version : 0;
    l.synced_length = length;
  };
  DOMCharacterData* text = dynamic_cast<DOMCharacterData*>(l.text_node);
  if (!text || length > l.text_room) {
    std::u16string whole;
    whole.reserve(length);
    for_each_text_piece(l, terms, at, [&whole](const char16_t* p, size_t n) { whole.append(p, n); });
    l.text_node->setNodeValue(whole.c_str());
    if (length > l.text_room) l.text_room = length;
    synced();
    return;
  }
  const size_t PIECE = 2048;
  char16_t piece[PIECE + 1];
  size_t used = 0;
  bool started = false;
  auto flush = [&]() {
    piece[used] = 0;
    if (started) {
      text->appendData(piece);
    } else {
      text->setNodeValue(piece);
      started = true;
    }
    used = 0;
  };
  for_each_text_piece(l, terms, at, [&](const char16_t* p, size_t n) {
    while (n > 0) {
      size_t take = PIECE - used < n ? PIECE - used : n;
      std::memcpy(piece + used, p, take * sizeof(char16_t));
      used += take;
      p += take;
      n -= take;
      if (used == PIECE) flush();
    }
  });
  if (used > 0 || !started) flush();
  synced();
}

bool SDR_DATA_TRIGGER::patch_condition_text(LEVEL& l, size_t node, SDR_DATA_TRIGGER_CONDITION before,
                                            SDR_DATA_TRIGGER_CONDITION after) {
  if (!l.synced_node || l.synced_node != l.text_node || !m_signals) return false;
  const SDR_DATA_SIGNAL_SET::TERM_NAMES& names = m_signals->term_names();
  if (names.version != l.synced_names) return false;
  DOMBuffer* buffer = sdr_text_buffer(l.text_node);
  if (!buffer || buffer->getLen() != l.synced_length) return false;
  if (before < 0 || before > SDR_TCOND_DONT_CARE || after < 0 || after > SDR_TCOND_DONT_CARE) return false;
  if (before == after) return true;

  // Where the term of node starts, counted as for_each_text_piece writes.
  const TEXT_WORDS<std::u16string>& words = TEXT_WORDS<std::u16string>::get();
  const std::u16string& terms = names.terms16;
  const std::vector<size_t>& at = names.at16;
  size_t width = static_cast<size_t>(m_signals->get_trigger_wire_width());
  if (width > l.conditions.size()) width = l.conditions.size();
  if (width + 1 > at.size()) width = at.empty() ? 0 : at.size() - 1;
  // A wire beyond the text's width or without a name is not in the text.
  if (node >= width || at[node] == at[node + 1]) return true;
  size_t offset = 0;
  bool first = true;
  for (size_t i = 0; i < node; ++i) {
    const SDR_DATA_TRIGGER_CONDITION c = l.conditions[i];
    if (c == SDR_TCOND_DONT_CARE || at[i] == at[i + 1]) continue;
    if (c < 0 || c > SDR_TCOND_DONT_CARE) return false;
    offset += (first ? 0 : words.and_word.size()) + (at[i + 1] - at[i]) + words.equals_word.size() +
              words.conditions[c].size();
    first = false;
  }

  // The piece of text that goes and the piece that comes: only the word
  // when the wire stays in the text, else the term with one joiner.
  const size_t length = buffer->getLen();
  auto term = [&](SDR_DATA_TRIGGER_CONDITION c) {
    std::u16string t(terms, at[node], at[node + 1] - at[node]);
    t += words.equals_word;
    t += words.conditions[c];
    return t;
  };
  std::u16string gone, come;
  size_t at_text = offset;
  if (before != SDR_TCOND_DONT_CARE && after != SDR_TCOND_DONT_CARE) {
    at_text += (first ? 0 : words.and_word.size()) + (at[node + 1] - at[node]) + words.equals_word.size();
    gone = words.conditions[before];
    come = words.conditions[after];
  } else {
    const bool leaves = after == SDR_TCOND_DONT_CARE;
    std::u16string& piece = leaves ? gone : come;
    piece = term(leaves ? before : after);
    // The first term takes the joiner after it, when more text follows.
    if (!first)
      piece.insert(0, words.and_word);
    else if (length > (leaves ? piece.size() : 0))
      piece += words.and_word;
  }
  if (at_text + gone.size() > length) return false;
  XMLCh* chars = const_cast<XMLCh*>(buffer->getRawBuffer());
  if (!gone.empty() && std::memcmp(chars + at_text, gone.data(), gone.size() * sizeof(XMLCh)) != 0)
    return false;
  const size_t patched = length - gone.size() + come.size();
  if (patched >= buffer->getCapacity()) return false;
  std::memmove(chars + at_text + come.size(), chars + at_text + gone.size(),
               (length - at_text - gone.size()) * sizeof(XMLCh));
  std::memcpy(chars + at_text, come.data(), come.size() * sizeof(XMLCh));
  buffer->chop(patched);
  l.synced_length = patched;
  if (l.text_room_node == l.text_node && patched > l.text_room) l.text_room = patched;
  return true;
}
