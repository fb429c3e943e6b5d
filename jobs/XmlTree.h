// A parsed XML document as a small tree, read with expat in one pass. Text
// is gathered with appends, so a long text node costs time in proportion to
// its length (the toolkit's document class copies the whole node for every
// piece the parser delivers, which grows with the square of its length).
// The tree keeps what a definition file needs: elements with their
// attributes, text and CDATA (as text), and comments as opaque nodes. As with
// the toolkit's reader, a text piece that is only white space does not start
// a text node.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

struct XmlNode {
  enum class Kind { Element, Text, Comment };

  XmlNode() = default;
  // Frees the subtree without recursion, so no depth of tree can exhaust the stack.
  ~XmlNode();
  XmlNode(const XmlNode&) = delete;
  XmlNode& operator=(const XmlNode&) = delete;

  Kind kind = Kind::Element;
  std::string name;                                         // an element's name
  std::vector<std::pair<std::string, std::string>> attributes;  // in document order
  std::string text;                                         // a text node's content
  std::vector<std::unique_ptr<XmlNode>> children;

  // The value of attribute `attributeName`, or null when it is absent.
  const std::string* Attribute(const char* attributeName) const;
};

// Elements may be nested this deep (the root counts as 1); a definition file
// needs four levels.
constexpr size_t kMaxXmlDepth = 64;

// The parser's work grows with the number of distinct names it meets and,
// within one tag, faster than the tag's length; these bounds keep every
// document up to the definition file's size limit well under a second. A
// definition file needs a few dozen elements and attributes per job entry and
// tags of a few KiB (a path, escaped).
constexpr size_t kMaxXmlMarkup = 100000;    // elements, attributes and declarations
constexpr size_t kMaxXmlTagBytes = 256 << 10;  // the longest piece of markup

// Parses `contents` (UTF-8 unless its declaration names another encoding
// expat knows) and returns the root element, with every string in UTF-8.
// Null when the document is not well-formed or exceeds kMaxXmlDepth,
// kMaxXmlMarkup or kMaxXmlTagBytes; `*error` then says why and where.
std::unique_ptr<XmlNode> ParseXml(const std::string& contents, std::string* error);
