// The correction profiles the settings form holds while it is open: section
// names of Tidelarn.ini in sorted order (without regard to case), each with
// its own profile object.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "uEinstellungen.h"

class TProfileList {
public:
  int Count() const { return int(items_.size()); }
  const std::string& Name(int index) const { return items_.at(size_t(index)).name; }
  TVQEinstellungen& Object(int index) const { return *items_.at(size_t(index)).settings; }

  // Position of Name (compared without regard to case), -1 when absent.
  int IndexOf(std::string_view name) const;
  int IndexOfObject(const TVQEinstellungen* settings) const;
  // Inserts Name with its object at its sorted place and returns that place;
  // a name the list holds already is refused with -1 (the object is dropped).
  int Add(std::string name, std::unique_ptr<TVQEinstellungen> settings);
  void Delete(int index);
  void Clear() { items_.clear(); }

private:
  struct Item {
    std::string name;
    std::unique_ptr<TVQEinstellungen> settings;
  };
  // First position whose name does not sort before Name.
  size_t LowerBound(std::string_view name) const;

  std::vector<Item> items_;
};
