#ifndef SDR_DATA_LOG_H
#define SDR_DATA_LOG_H

// One captured acquisition of a trigger ("data" element): the samples of all
// data wires, one "0"/"1" character per bit, sample by sample.

#include <memory>
#include <string>

#include "sdr_export.h"
#include "sdr_xerces_fwd.h"

class SDR_DATA_SIGNAL_SET;
class SDR_DATA_TRIGGER;

class SDR_API SDR_DATA_LOG {
 public:
  // A new "data" element named by the automatic name generator (base "log").
  explicit SDR_DATA_LOG(xercesc::DOMDocument* document);
  SDR_DATA_LOG(xercesc::DOMDocument* document, const char* name);
  // Reads an existing "data" element.
  SDR_DATA_LOG(xercesc::DOMDocument* document, xercesc::DOMElement* element, SDR_DATA_SIGNAL_SET* signal_set,
               SDR_DATA_TRIGGER* trigger);
  virtual ~SDR_DATA_LOG();

  SDR_DATA_LOG(const SDR_DATA_LOG&) = delete;
  SDR_DATA_LOG& operator=(const SDR_DATA_LOG&) = delete;

  const char* get_name() const;
  // Renames through the trigger's log name map; false when the name is taken.
  bool set_name(const char* name);
  SDR_DATA_SIGNAL_SET* get_signal_set() const { return m_signal_set; }
  // Also refreshes the data width from the set's data wire count.
  void set_signal_set(SDR_DATA_SIGNAL_SET* signal_set);
  SDR_DATA_TRIGGER* get_trigger() const { return m_trigger; }
  void set_trigger(SDR_DATA_TRIGGER* trigger) { m_trigger = trigger; }
  xercesc::DOMElement* get_dom_node() const { return m_element; }

  int get_data_sample_depth() const { return m_sample_depth; }
  int get_data_trigger_position() const { return m_trigger_position; }
  int get_data_segment_size() const { return m_segment_size; }
  int get_data_width() const { return m_data_width; }

  // The bit of data wire `wire` at `sample`; a bit outside the stored text
  // reads as 0. O(1), no allocation.
  bool get_bit(int wire, int sample) const {
    if (!m_sample_text || wire < 0 || sample < 0 || wire >= m_data_width) return false;
    const unsigned long long index =
        static_cast<unsigned long long>(sample) * static_cast<unsigned long long>(m_data_width) +
        static_cast<unsigned long long>(wire);
    return index < m_sample_length && m_sample_text[index] == u'1';
  }
  bool get_connection_status(int wire) const;
  bool is_data_available() const;
  bool is_acquiring_data() const { return m_acquiring; }
  bool start_acquisition();
  bool end_acquisition();

  // Stores a capture of 16-bit "0"/"1" characters, sample by sample.
  bool translate_bit_stream(const unsigned short* bits, int sample_depth, int trigger_position);
  void copy_data(SDR_DATA_LOG* other);
  bool is_global_temp() const;
  void set_global_temp();
  // Takes the log out of its trigger (list, name map or global slot, the
  // session's active display tree) and its element out of the document,
  // and hands it to the caller, who may append it again or destroy it;
  // destroying a detached object frees its element. A detached object must
  // go before its document.
  std::unique_ptr<SDR_DATA_LOG> detach();
  // detach, then destroy.
  void remove();
  // Fills the log with synthetic data shaped by the trigger's conditions.
  void simulate_run();

 private:
  bool check_data_sanity() const;
  void refresh_sample_text();
  // Replaces the sample text with *text (a capture of this log's data width,
  // emptied on return) and writes the capture's attributes.
  bool store_capture(std::u16string* text, int sample_depth, int trigger_position);

  std::unique_ptr<std::string> m_name;
  int m_trigger_position = -1;
  int m_sample_depth = 0;
  int m_segment_size = 0;
  int m_data_width = 0;
  SDR_DATA_SIGNAL_SET* m_signal_set = nullptr;
  SDR_DATA_TRIGGER* m_trigger = nullptr;
  bool m_acquiring = false;
  std::unique_ptr<std::string> m_unconnected_ports;
  xercesc::DOMElement* m_element = nullptr;
  // The sample text inside the element's text node (not owned), and its
  // length in characters.
  const char16_t* m_sample_text = nullptr;
  size_t m_sample_length = 0;
};

#endif
