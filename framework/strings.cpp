#include "framework/strings.h"

#include "framework/exception.h"

namespace fw {

int TStrings::IndexOf(const std::string& text) const {
  for (int i = 0; i < Count(); ++i)
    if (Strings(i) == text) return i;
  return -1;
}

int TStringList::AddObject(const std::string& text, TObject* object) {
  items_.emplace_back(text, object);
  return Count() - 1;
}

void TStringList::Delete(int index) {
  At(index);
  items_.erase(items_.begin() + index);
}

const std::pair<std::string, TObject*>& TStringList::At(int index) const {
  if (index < 0 || index >= Count()) throw EListError(index);
  return items_[static_cast<size_t>(index)];
}

}  // namespace fw
