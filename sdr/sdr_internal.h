#ifndef SDR_INTERNAL_H
#define SDR_INTERNAL_H

// Helpers shared by the library's source units; not installed.

#include <xercesc/dom/DOM.hpp>

#include <cstring>
#include <string>

#include "msg_service.h"
#include "sdr_export.h"

// Reports a broken internal rule with the failed expression, the module tag
// "SDR", the source file's base name and the line; evaluates to the
// condition so that callers can take their way out.
#define SDR_CHECK(cond) \
  ((cond) ? true : (sdr_report_internal_error(#cond, __FILE__, __LINE__), false))

SDR_API void sdr_report_internal_error(const char* expression, const char* file, int line);

// 8-bit texts are UTF-8 (plain ASCII in practice); the DOM's are UTF-16.
// SDR_XSTR converts one 8-bit text for a DOM call.
class SDR_API SDR_XSTR {
public:
  explicit SDR_XSTR(const char* text);
  explicit SDR_XSTR(const std::string& text) : SDR_XSTR(text.c_str()) {}
  const XMLCh* x() const { return m_text.c_str(); }
  operator const XMLCh*() const { return m_text.c_str(); }

private:
  std::u16string m_text;
};

// Appends the UTF-8 form of a DOM text (null gives nothing).
SDR_API void sdr_append_utf8(const XMLCh* text, std::string* out);
SDR_API std::string sdr_to_utf8(const XMLCh* text);

// Attribute access with the shared conventions: an absent attribute and an
// empty one both read as empty.
SDR_API std::string sdr_get_attribute(const xercesc::DOMElement* element, const char* name);
SDR_API bool sdr_has_attribute(const xercesc::DOMElement* element, const char* name);
SDR_API void sdr_set_attribute(xercesc::DOMElement* element, const char* name, const char* value);
SDR_API void sdr_set_attribute(xercesc::DOMElement* element, const char* name, int value);
SDR_API void sdr_remove_attribute(xercesc::DOMElement* element, const char* name);

// Decimal conversion as the runtime does it: leading blanks, an optional
// sign, leading digits; no digits reads as 0; the value saturates at the
// int range instead of overflowing.
SDR_API int sdr_atoi(const char* text);

#endif
