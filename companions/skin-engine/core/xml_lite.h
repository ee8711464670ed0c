// A small XML reader for skin files and the engine configuration: elements, attributes, comments.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace uifeature {

struct XmlElement {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;  // in document order, values decoded
    std::vector<XmlElement> children;
    int line = 0;

    // The value of an attribute, or nullptr when absent.
    const std::string* Find(std::string_view key) const;
};

struct XmlParseResult {
    bool ok = false;
    std::string error;  // "line N: what is wrong" when !ok
    XmlElement root;
};

// Bounds that keep hostile input cheap: nesting depth and input size.
inline constexpr int kXmlMaxDepth = 64;
inline constexpr size_t kXmlMaxInput = 4u << 20;

// Parses one document (UTF-8, optional byte-order mark and declaration). Text content between
// elements is ignored except whitespace checks; skins carry everything in attributes.
XmlParseResult ParseXml(std::string_view text);

}  // namespace uifeature
