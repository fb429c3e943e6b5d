#include "ui/VersionTree.h"

#include <wx/string.h>

#include <algorithm>
#include <unordered_map>

namespace {

bool AtOrBefore(const wxDateTime& time, const wxDateTime& point) {
  return !point.IsValid() || !time.IsLaterThan(point);
}

}  // namespace

std::string FoldCase(const std::string& text) {
  const bool ascii = std::all_of(text.begin(), text.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (!ascii) return wxString::FromUTF8(text).Lower().utf8_string();
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

VersionTree::VersionTree(ArchiveCatalogue catalogue, JobVersions versions)
    : catalogue_(std::move(catalogue)), versions_(std::move(versions)) {
  nodes_.emplace_back();
  nodes_.front().folder = true;
  // The children of each node by name while the tree is built.
  std::unordered_map<const Node*, std::unordered_map<std::string, Node*>> index;
  for (const auto& [path, list] : versions_.Paths()) {
    if (list.empty()) continue;
    Node* node = &nodes_.front();
    std::string::size_type start = 0;
    while (start < path.size()) {
      std::string::size_type end = path.find('/', start);
      const bool last = end == std::string::npos;
      if (last) end = path.size();
      const std::string name = path.substr(start, end - start);
      start = end + 1;
      if (name.empty()) continue;
      auto& children = index[node];
      auto found = children.find(name);
      if (found == children.end()) {
        nodes_.emplace_back();
        Node& child = nodes_.back();
        child.name = name;
        child.folded = FoldCase(name);
        child.path = node->path.empty() ? name : node->path + "/" + name;
        child.folder = !last;
        node->children.push_back(&child);
        found = children.emplace(name, &child).first;
      }
      node = found->second;
    }
    if (node == &nodes_.front()) continue;
    node->versions = &list;
    node->folder = node->folder || list.back().directory;
    if (!node->folder) ++files_;
  }
  SortAndDate(nodes_.front());
}

void VersionTree::SortAndDate(Node& node) {
  if (node.versions != nullptr) node.earliest = Committed(node.versions->front());
  for (const Node* child : node.children) {
    Node& writable = const_cast<Node&>(*child);
    SortAndDate(writable);
    if (!node.earliest.IsValid() || writable.earliest.IsEarlierThan(node.earliest)) {
      node.earliest = writable.earliest;
    }
  }
  std::sort(node.children.begin(), node.children.end(), [](const Node* a, const Node* b) {
    if (a->folder != b->folder) return a->folder;
    return a->folded != b->folded ? a->folded < b->folded : a->name < b->name;
  });
}

bool VersionTree::VisibleAt(const Node& node, const wxDateTime& point) const {
  return node.earliest.IsValid() && AtOrBefore(node.earliest, point);
}

const StoredVersion* VersionTree::VersionAt(const Node& node, const wxDateTime& point) const {
  if (node.versions == nullptr) return nullptr;
  for (auto it = node.versions->rbegin(); it != node.versions->rend(); ++it) {
    if (AtOrBefore(Committed(*it), point)) return &*it;
  }
  return nullptr;
}

std::vector<const VersionTree::Node*> VersionTree::ChildrenAt(const Node& node,
                                                              const wxDateTime& point) const {
  std::vector<const Node*> shown;
  for (const Node* child : node.children) {
    if (VisibleAt(*child, point)) shown.push_back(child);
  }
  return shown;
}

std::vector<const VersionTree::Node*> VersionTree::Find(const std::string& text,
                                                        const wxDateTime& point,
                                                        size_t limit) const {
  const std::string wanted = FoldCase(text);
  std::vector<const Node*> found;
  for (const Node& node : nodes_) {
    if (found.size() >= limit) break;
    if (!node.folder && node.folded.find(wanted) != std::string::npos && VisibleAt(node, point)) {
      found.push_back(&node);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const Node* a, const Node* b) { return a->path < b->path; });
  return found;
}
