#include "ProfileList.h"

#include "SysUtils.h"

size_t TProfileList::LowerBound(std::string_view name) const {
  size_t lo = 0, hi = items_.size();
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    if (CompareText(items_[mid].name, name) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return lo;
}

int TProfileList::IndexOf(std::string_view name) const {
  size_t at = LowerBound(name);
  return at < items_.size() && CompareText(items_[at].name, name) == 0 ? int(at) : -1;
}

int TProfileList::IndexOfObject(const TVQEinstellungen* settings) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].settings.get() == settings) return int(i);
  return -1;
}

int TProfileList::Add(std::string name, std::unique_ptr<TVQEinstellungen> settings) {
  if (IndexOf(name) >= 0) return -1;
  size_t at = LowerBound(name);
  items_.insert(items_.begin() + std::ptrdiff_t(at), Item{std::move(name), std::move(settings)});
  return int(at);
}

void TProfileList::Delete(int index) {
  if (index >= 0 && size_t(index) < items_.size())
    items_.erase(items_.begin() + std::ptrdiff_t(index));
}
