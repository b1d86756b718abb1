#include "startup/XmlScan.h"

#include <cstdlib>

#include "app/Text.h"

namespace mt {

namespace {

bool IsNameEnd(char c) {
  return c == '>' || c == '/' || c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

XmlElement FindXmlElement(const std::string& xml, const std::string& name, size_t from, size_t to) {
  XmlElement e;
  for (size_t at = xml.find('<', from); at != std::string::npos && at < to;
       at = xml.find('<', at + 1)) {
    if (xml.compare(at, 4, "<!--") == 0) {  // a comment holds no elements
      const size_t end = xml.find("-->", at + 4);
      if (end == std::string::npos || end >= to) break;
      at = end + 2;
      continue;
    }
    size_t nameBegin = at + 1;
    if (nameBegin >= xml.size() || xml[nameBegin] == '/' || xml[nameBegin] == '?' ||
        xml[nameBegin] == '!')
      continue;
    size_t nameEnd = nameBegin;
    while (nameEnd < xml.size() && !IsNameEnd(xml[nameEnd])) ++nameEnd;
    std::string tag = xml.substr(nameBegin, nameEnd - nameBegin);
    const size_t colon = tag.find(':');
    if (colon != std::string::npos) tag = tag.substr(colon + 1);
    if (tag != name) continue;
    const size_t close = xml.find('>', nameEnd);
    if (close == std::string::npos) return e;
    e.open = at;
    e.tagEnd = close;
    if (xml[close - 1] == '/') {  // <Name/>: no content
      e.contentBegin = e.contentEnd = close + 1;
      return e;
    }
    e.contentBegin = close + 1;
    const std::string prefix = xml.substr(nameBegin, nameEnd - nameBegin);
    const size_t end = xml.find("</" + prefix, e.contentBegin);
    e.contentEnd = end == std::string::npos || end > to ? to : end;
    return e;
  }
  return e;
}

std::string DecodeXmlText(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '&') {
      out += text[i];
      continue;
    }
    const size_t semi = text.find(';', i);
    if (semi == std::string::npos) {
      out += text.substr(i);
      break;
    }
    const std::string entity = text.substr(i + 1, semi - i - 1);
    if (entity == "amp") out += '&';
    else if (entity == "lt") out += '<';
    else if (entity == "gt") out += '>';
    else if (entity == "quot") out += '"';
    else if (entity == "apos") out += '\'';
    else if (!entity.empty() && entity[0] == '#') {
      unsigned long code = entity.size() > 1 && (entity[1] == 'x' || entity[1] == 'X')
                               ? std::strtoul(entity.c_str() + 2, nullptr, 16)
                               : std::strtoul(entity.c_str() + 1, nullptr, 10);
      AppendUtf8(out, code > 0x10FFFF ? 0xFFFD : static_cast<char32_t>(code));
    } else {
      out += text.substr(i, semi - i + 1);  // not one of ours: left as written
    }
    i = semi;
  }
  return out;
}

std::string XmlChildText(const std::string& xml, const std::string& name,
                         const XmlElement& parent) {
  const XmlElement child = FindXmlElement(xml, name, parent.contentBegin, parent.contentEnd);
  if (!child.found()) return std::string();
  return DecodeXmlText(xml.substr(child.contentBegin, child.contentEnd - child.contentBegin));
}

std::optional<std::string> XmlAttribute(const std::string& xml, const XmlElement& element,
                                        const std::string& name) {
  if (!element.found()) return std::nullopt;
  size_t at = element.open + 1;
  while (at < element.tagEnd && !IsNameEnd(xml[at])) ++at;  // past the element's name
  while (at < element.tagEnd) {
    while (at < element.tagEnd && (IsNameEnd(xml[at]) || xml[at] == '/')) ++at;
    const size_t nameBegin = at;
    while (at < element.tagEnd && xml[at] != '=' && !IsNameEnd(xml[at])) ++at;
    std::string attribute = xml.substr(nameBegin, at - nameBegin);
    while (at < element.tagEnd &&
           (xml[at] == ' ' || xml[at] == '\t' || xml[at] == '\r' || xml[at] == '\n'))
      ++at;
    if (at >= element.tagEnd || xml[at] != '=') continue;  // a name without a value
    ++at;
    while (at < element.tagEnd &&
           (xml[at] == ' ' || xml[at] == '\t' || xml[at] == '\r' || xml[at] == '\n'))
      ++at;
    if (at >= element.tagEnd || (xml[at] != '"' && xml[at] != '\'')) return std::nullopt;
    const char quote = xml[at];
    const size_t valueEnd = xml.find(quote, at + 1);
    if (valueEnd == std::string::npos || valueEnd > element.tagEnd) return std::nullopt;
    const size_t colon = attribute.find(':');
    if (colon != std::string::npos && attribute.compare(0, colon, "xmlns") != 0)
      attribute = attribute.substr(colon + 1);
    if (attribute == name) return DecodeXmlText(xml.substr(at + 1, valueEnd - at - 1));
    at = valueEnd + 1;
  }
  return std::nullopt;
}

}  // namespace mt
