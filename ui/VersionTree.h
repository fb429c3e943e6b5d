// The stored files of a job as a tree of folders, browsed as of a backup
// point. Built once (on a worker thread) from every version of every path;
// each node knows the oldest commit in its subtree, so the children shown at
// a point are found by looking at those children only, however large the
// tree below them.
#pragma once

#include <wx/datetime.h>

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/ArchiveCatalogue.h"
#include "engine/JobVersions.h"

class VersionTree {
 public:
  struct Node {
    std::string_view name;  // the last component of the path, UTF-8
    std::string_view path;  // relative to the job's source root; held by the tree
    bool folder = false;
    const std::vector<StoredVersion>* versions = nullptr;  // null: known only from what it holds
    std::vector<const Node*> children;                     // folders first, then by name
    wxDateTime earliest;  // the oldest commit of anything in the subtree
  };

  VersionTree(ArchiveCatalogue catalogue, JobVersions versions);
  VersionTree(const VersionTree&) = delete;
  VersionTree& operator=(const VersionTree&) = delete;

  const ArchiveCatalogue& Catalogue() const { return catalogue_; }
  const Node& Root() const { return nodes_.front(); }
  size_t FileCount() const { return files_; }

  // A point is a commit time; an invalid one is "now" (the newest of everything).
  bool VisibleAt(const Node& node, const wxDateTime& point) const;
  // The version of `node` a restore as of `point` gives; null for none.
  const StoredVersion* VersionAt(const Node& node, const wxDateTime& point) const;
  std::vector<const Node*> ChildrenAt(const Node& node, const wxDateTime& point) const;
  // Files whose name holds `text` (any case), visible at `point`, at most `limit`.
  std::vector<const Node*> Find(const std::string& text, const wxDateTime& point,
                                size_t limit) const;
  const wxDateTime& Committed(const StoredVersion& version) const {
    return catalogue_.Archives()[version.archive].committed;
  }

 private:
  // Folders by path while the tree is built.
  using FolderIndex = std::unordered_map<std::string_view, Node*>;

  // `path` as a view that lives as long as the tree.
  std::string_view Held(const std::string& path);
  Node& Add(std::string_view path, FolderIndex& folders);
  Node& Folder(std::string_view path, FolderIndex& folders);
  void SortAndDate(Node& node);

  ArchiveCatalogue catalogue_;
  JobVersions versions_;  // its paths are the paths of the nodes
  std::deque<std::string> heldPaths_;  // the paths that are not among them
  std::deque<Node> nodes_;
  size_t files_ = 0;
};

// `text` in lower case (UTF-8).
std::string FoldCase(std::string_view text);
