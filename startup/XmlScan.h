// Reading the few elements and attributes the startup list needs from XML text (a task's
// definition, a package's manifest) without a full parser: element names are matched with
// or without their namespace prefix, and entity and character references are decoded.
#pragma once

#include <optional>
#include <string>

namespace mt {

// An element: where its start tag opens and where its content starts and ends.
struct XmlElement {
  size_t open = std::string::npos;  // position of "<"
  size_t tagEnd = 0;                // position of the start tag's ">"
  size_t contentBegin = 0, contentEnd = 0;
  bool found() const { return open != std::string::npos; }
};

// The first element named `name` (with or without a prefix) in xml[from, to).
XmlElement FindXmlElement(const std::string& xml, const std::string& name, size_t from, size_t to);
// The text with its entity and character references decoded.
std::string DecodeXmlText(const std::string& text);
// The decoded text of the first child element `name` of `parent`; empty when it has none.
std::string XmlChildText(const std::string& xml, const std::string& name, const XmlElement& parent);
// The decoded value of the start tag's attribute `name` (with or without a prefix), or
// nothing when the tag has no such attribute.
std::optional<std::string> XmlAttribute(const std::string& xml, const XmlElement& element,
                                        const std::string& name);

}  // namespace mt
