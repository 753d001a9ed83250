#ifndef SDR_XERCES_FWD_H
#define SDR_XERCES_FWD_H

// Forward declarations of the XML library's DOM types used in the public
// interface, so that hosts need not include the XML library's DOM headers.
// The library's types live in a namespace named after its version; its
// version header (which includes nothing else) gives that name.

#include <xercesc/util/XercesVersion.hpp>

namespace XERCES_CPP_NAMESPACE {
class DOMDocument;
class DOMElement;
class DOMNode;
class XercesDOMParser;
class MemoryManager;
}  // namespace XERCES_CPP_NAMESPACE
namespace xercesc = XERCES_CPP_NAMESPACE;

#endif
