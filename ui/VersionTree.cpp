#include "ui/VersionTree.h"

#include <wx/string.h>

#include <algorithm>
#include <unordered_map>

namespace {

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// Orders names as their lower case forms do, without making them for ASCII names.
int CompareFolded(std::string_view a, std::string_view b) {
  if (!IsAscii(a) || !IsAscii(b)) return FoldCase(a).compare(FoldCase(b));
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const char x = FoldAscii(a[i]);
    const char y = FoldAscii(b[i]);
    if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y) ? -1 : 1;
  }
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// `name` holds `wanted` (already in lower case) in any case.
bool HoldsFolded(std::string_view name, const std::string& wanted) {
  if (!IsAscii(name)) return FoldCase(name).find(wanted) != std::string::npos;
  return std::search(name.begin(), name.end(), wanted.begin(), wanted.end(),
                     [](char c, char w) { return FoldAscii(c) == w; }) != name.end();
}

bool AtOrBefore(const wxDateTime& time, const wxDateTime& point) {
  return !point.IsValid() || !time.IsLaterThan(point);
}

}  // namespace

std::string FoldCase(std::string_view text) {
  if (!IsAscii(text)) return wxString::FromUTF8(text.data(), text.size()).Lower().utf8_string();
  std::string folded(text);
  for (char& c : folded) c = FoldAscii(c);
  return folded;
}

// The nodes point into the paths of `versions_`, which stay in place: nothing
// is copied per entry. The paths come sorted, so a path's own entry is met
// before anything below it; only folders need to be found again.
VersionTree::VersionTree(ArchiveCatalogue catalogue, JobVersions versions)
    : catalogue_(std::move(catalogue)), versions_(std::move(versions)) {
  nodes_.emplace_back();
  nodes_.front().folder = true;
  FolderIndex folders;
  for (const auto& [path, list] : versions_.Paths()) {
    if (list.empty()) continue;
    const std::string_view held = Held(path);
    Node& node = list.back().directory ? Folder(held, folders) : Add(held, folders);
    if (&node != &nodes_.front()) node.versions = &list;
  }
  SortAndDate(nodes_.front());
}

// Unsafe names are kept under their own spelling, which may have a leading,
// trailing or doubled '/': such a path is held without its empty components.
std::string_view VersionTree::Held(const std::string& path) {
  if (path.empty() ||
      (path.front() != '/' && path.back() != '/' && path.find("//") == std::string::npos)) {
    return path;
  }
  std::string cleaned;
  for (std::string::size_type start = 0; start < path.size();) {
    std::string::size_type end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) {
      if (!cleaned.empty()) cleaned += '/';
      cleaned.append(path, start, end - start);
    }
    start = end + 1;
  }
  return heldPaths_.emplace_back(std::move(cleaned));
}

VersionTree::Node& VersionTree::Add(std::string_view path, FolderIndex& folders) {
  if (path.empty()) return nodes_.front();
  const std::string_view::size_type slash = path.rfind('/');
  Node& parent = slash == std::string_view::npos ? nodes_.front()
                                                 : Folder(path.substr(0, slash), folders);
  Node& child = nodes_.emplace_back();
  child.path = path;
  child.name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  parent.children.push_back(&child);
  return child;
}

// A file of that path met before stays a file: the folder is a node of its own.
VersionTree::Node& VersionTree::Folder(std::string_view path, FolderIndex& folders) {
  const auto found = folders.find(path);
  if (found != folders.end()) return *found->second;
  if (path.empty()) return nodes_.front();
  Node& folder = Add(path, folders);
  folder.folder = true;
  folders.emplace(folder.path, &folder);
  return folder;
}

void VersionTree::SortAndDate(Node& node) {
  if (node.versions != nullptr) node.earliest = Committed(node.versions->front());
  if (!node.folder) ++files_;
  for (const Node* child : node.children) {
    Node& writable = const_cast<Node&>(*child);
    SortAndDate(writable);
    if (!node.earliest.IsValid() || writable.earliest.IsEarlierThan(node.earliest)) {
      node.earliest = writable.earliest;
    }
  }
  std::sort(node.children.begin(), node.children.end(), [](const Node* a, const Node* b) {
    if (a->folder != b->folder) return a->folder;
    const int order = CompareFolded(a->name, b->name);
    return order != 0 ? order < 0 : a->name < b->name;
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
    if (!node.folder && HoldsFolded(node.name, wanted) && VisibleAt(node, point)) {
      found.push_back(&node);
    }
  }
  std::sort(found.begin(), found.end(),
            [](const Node* a, const Node* b) { return a->path < b->path; });
  return found;
}
