#include "jobs/XmlTree.h"

#include <expat.h>

#include <cstring>

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
  }

  std::unique_ptr<XmlNode> TakeRoot() { return std::move(root_); }
  bool TooDeep() const { return tooDeep_; }

 private:
  static TreeBuilder& Of(void* data) { return *static_cast<TreeBuilder*>(data); }

  static void OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    TreeBuilder& self = Of(data);
    if (self.open_.size() >= kMaxXmlDepth) {
      self.tooDeep_ = true;
      XML_StopParser(self.parser_, XML_FALSE);
      return;
    }
    auto element = std::make_unique<XmlNode>();
    element->name = name;
    for (int i = 0; attributes[i] != nullptr; i += 2) {
      element->attributes.emplace_back(attributes[i], attributes[i + 1]);
    }
    XmlNode* added = self.Add(std::move(element));
    self.open_.push_back(added);
  }

  static void OnEnd(void* data, const XML_Char*) {
    TreeBuilder& self = Of(data);
    self.open_.pop_back();
    self.openText_ = nullptr;
  }

  static void OnText(void* data, const XML_Char* text, int length) {
    TreeBuilder& self = Of(data);
    if (self.openText_ == nullptr) {
      if (IsWhiteOnly(text, length) || self.open_.empty()) return;
      self.openText_ = self.AddText();
    }
    self.openText_->text.append(text, static_cast<size_t>(length));
  }

  static void OnCdataStart(void* data) {
    TreeBuilder& self = Of(data);
    self.openText_ = self.open_.empty() ? nullptr : self.AddText();
  }

  static void OnCdataEnd(void* data) { Of(data).openText_ = nullptr; }

  static void OnComment(void* data, const XML_Char*) {
    TreeBuilder& self = Of(data);
    if (self.open_.empty()) return;
    auto comment = std::make_unique<XmlNode>();
    comment->kind = XmlNode::Kind::Comment;
    self.Add(std::move(comment));
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
  bool tooDeep_ = false;         // the parse was stopped at kMaxXmlDepth
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
  std::unique_ptr<XmlNode> root;
  if (XML_Parse(parser, contents.data(), static_cast<int>(contents.size()), XML_TRUE) ==
      XML_STATUS_OK) {
    root = builder.TakeRoot();
  } else if (builder.TooDeep()) {
    *error = "elements nested deeper than " + std::to_string(kMaxXmlDepth) + " levels at line " +
             std::to_string(XML_GetCurrentLineNumber(parser));
  } else {
    *error = std::string(XML_ErrorString(XML_GetErrorCode(parser))) + " at line " +
             std::to_string(XML_GetCurrentLineNumber(parser));
  }
  XML_ParserFree(parser);
  return root;
}
