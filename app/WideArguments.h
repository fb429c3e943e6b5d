// The process arguments as the toolkit's wide strings, decoded as UTF-8
// whatever the locale says. Bytes that are not UTF-8 are carried losslessly
// (PathText), so a definition file named with them is found under its own bytes.
#pragma once

#include <string>
#include <vector>

#include <wx/chartype.h>

class WideArguments {
 public:
  WideArguments(int argc, char** argv);

  int& Count() { return count_; }
  wxChar** Values() { return pointers_.data(); }

 private:
  std::vector<std::wstring> texts_;
  std::vector<wxChar*> pointers_;
  int count_ = 0;
};
