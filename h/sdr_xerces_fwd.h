#ifndef SDR_XERCES_FWD_H
#define SDR_XERCES_FWD_H

// Forward declarations of the XML library's DOM types used in the public
// interface, so that hosts need not include the XML library's headers.

namespace xercesc_3_2 {
class DOMDocument;
class DOMElement;
class DOMNode;
class XercesDOMParser;
class MemoryManager;
}  // namespace xercesc_3_2
namespace xercesc = xercesc_3_2;

#endif
