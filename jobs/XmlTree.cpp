#include "jobs/XmlTree.h"

#include <expat.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace {

bool IsWhiteOnly(const XML_Char* text, int length) {
  for (int i = 0; i < length; ++i) {
    if (std::strchr(" \t\r\n", text[i]) == nullptr) return false;
  }
  return true;
}

// Builds the tree from expat's events.
class TreeBuilder {
 public:
  explicit TreeBuilder(XML_Parser parser) : parser_(parser) {
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &TreeBuilder::OnStart, &TreeBuilder::OnEnd);
    XML_SetCharacterDataHandler(parser, &TreeBuilder::OnText);
    XML_SetCdataSectionHandler(parser, &TreeBuilder::OnCdataStart, &TreeBuilder::OnCdataEnd);
    XML_SetCommentHandler(parser, &TreeBuilder::OnComment);
    XML_SetDefaultHandlerExpand(parser, &TreeBuilder::OnOther);
  }

  std::unique_ptr<XmlNode> TakeRoot() { return std::move(root_); }
  // Why the parse was stopped short of an error of expat's own; empty if it was not.
  const std::string& StopReason() const { return stopReason_; }
  // The offset just past the last piece of the document handed to a handler.
  uint64_t ParsedTo() const { return parsedTo_; }

 private:
  static TreeBuilder& Of(void* data) { return *static_cast<TreeBuilder*>(data); }

  static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    TreeBuilder& self = Of(data);
    self.Note();
    if (self.open_.size() >= kMaxXmlDepth) {
      self.Stop("elements nested deeper than " + std::to_string(kMaxXmlDepth) + " levels");
      return;
    }
    int count = 0;
    while (attributes[count] != nullptr) count += 2;
    if (!self.Count(1 + static_cast<size_t>(count / 2))) return;
    auto element = std::make_unique<XmlNode>();
    element->name = name;
    element->attributes.reserve(static_cast<size_t>(count / 2));
    for (int i = 0; i < count; i += 2) {
      element->attributes.emplace_back(attributes[i], attributes[i + 1]);
    }
    XmlNode* added = self.Add(std::move(element));
    self.open_.push_back(added);
  }

  static void OnEnd(void* data, const XML_Char*) {
    TreeBuilder& self = Of(data);
    self.Note();
    self.open_.pop_back();
    self.openText_ = nullptr;
  }

  static void OnText(void* data, const XML_Char* text, int length) {
    TreeBuilder& self = Of(data);
    self.Note();
    if (self.openText_ == nullptr) {
      if (IsWhiteOnly(text, length) || self.open_.empty()) return;
      self.openText_ = self.AddText();
    }
    self.openText_->text.append(text, static_cast<size_t>(length));
  }

  static void OnCdataStart(void* data) {
    TreeBuilder& self = Of(data);
    self.Note();
    self.openText_ = self.open_.empty() ? nullptr : self.AddText();
  }

  static void OnCdataEnd(void* data) {
    TreeBuilder& self = Of(data);
    self.Note();
    self.openText_ = nullptr;
  }

  static void OnComment(void* data, const XML_Char*) {
    TreeBuilder& self = Of(data);
    self.Note();
    if (self.open_.empty() || !self.Count(1)) return;
    auto comment = std::make_unique<XmlNode>();
    comment->kind = XmlNode::Kind::Comment;
    self.Add(std::move(comment));
  }

  // Declarations, processing instructions and the rest the tree does not keep.
  static void OnOther(void* data, const XML_Char*, int) {
    TreeBuilder& self = Of(data);
    self.Note();
    self.Count(1);
  }

  void Note() {
    parsedTo_ = std::max(parsedTo_, static_cast<uint64_t>(XML_GetCurrentByteIndex(parser_)) +
                                        static_cast<uint64_t>(XML_GetCurrentByteCount(parser_)));
  }

  // Adds `pieces` to the markup seen; false (and the parse stopped) past kMaxXmlMarkup.
  bool Count(size_t pieces) {
    markup_ += pieces;
    if (markup_ <= kMaxXmlMarkup) return true;
    Stop("more than " + std::to_string(kMaxXmlMarkup) + " elements and attributes");
    return false;
  }

  void Stop(std::string reason) {
    stopReason_ = std::move(reason);
    XML_StopParser(parser_, XML_FALSE);
  }

  XmlNode* AddText() {
    auto node = std::make_unique<XmlNode>();
    node->kind = XmlNode::Kind::Text;
    return Add(std::move(node));
  }

  // Appends `node` to the open element (or makes it the root) and returns it.
  XmlNode* Add(std::unique_ptr<XmlNode> node) {
    openText_ = nullptr;
    XmlNode* added = node.get();
    if (open_.empty()) {
      root_ = std::move(node);
    } else {
      open_.back()->children.push_back(std::move(node));
    }
    return added;
  }

  XML_Parser parser_;
  std::string stopReason_;
  size_t markup_ = 0;      // elements, attributes, comments and declarations seen
  uint64_t parsedTo_ = 0;
  std::unique_ptr<XmlNode> root_;
  std::vector<XmlNode*> open_;  // the elements from the root to the current one
  XmlNode* openText_ = nullptr;  // the text node that further text joins
};

}  // namespace

XmlNode::~XmlNode() {
  // Children are moved to a flat list before they are freed, so each one
  // is destroyed with no children of its own.
  std::vector<std::unique_ptr<XmlNode>> pending = std::move(children);
  while (!pending.empty()) {
    std::unique_ptr<XmlNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children) pending.push_back(std::move(child));
    node->children.clear();
  }
}

const std::string* XmlNode::Attribute(const char* attributeName) const {
  for (const auto& [name, value] : attributes) {
    if (name == attributeName) return &value;
  }
  return nullptr;
}

std::unique_ptr<XmlNode> ParseXml(const std::string& contents, std::string* error) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  if (parser == nullptr) {
    *error = "out of memory";
    return nullptr;
  }
  TreeBuilder builder(parser);
  // Fed in pieces, so that markup longer than kMaxXmlTagBytes is refused
  // before the parser has spent its time on it.
  constexpr size_t kPiece = 64 << 10;
  std::unique_ptr<XmlNode> root;
  for (size_t fed = 0;;) {
    const size_t length = std::min(kPiece, contents.size() - fed);
    const bool last = fed + length == contents.size();
    if (XML_Parse(parser, contents.data() + fed, static_cast<int>(length), last) !=
        XML_STATUS_OK) {
      *error = builder.StopReason().empty() ? XML_ErrorString(XML_GetErrorCode(parser))
                                            : builder.StopReason();
      break;
    }
    fed += length;
    if (last) {
      root = builder.TakeRoot();
      break;
    }
    if (fed - builder.ParsedTo() > kMaxXmlTagBytes) {
      *error = "markup longer than " + std::to_string(kMaxXmlTagBytes >> 10) + " KiB";
      break;
    }
  }
  if (root == nullptr) *error += " at line " + std::to_string(XML_GetCurrentLineNumber(parser));
  XML_ParserFree(parser);
  return root;
}
