#include "app/WideArguments.h"

#include <wx/string.h>

#include "engine/PathUtil.h"

WideArguments::WideArguments(int argc, char** argv) : count_(argc) {
  for (int i = 0; i < argc; ++i) {
    const wxString text = PathText(argv[i]);
    texts_.push_back(text.wc_str());
  }
  for (std::wstring& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}
