// String lists: texts with an object attached to each item, kept in the order added.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace fw {

class TObject;

/// The abstract string list that controls and the library exchange items through.
class TStrings {
 public:
  virtual ~TStrings() = default;
  virtual int Count() const = 0;
  virtual const std::string& Strings(int index) const = 0;
  virtual TObject* Objects(int index) const = 0;
  /// Appends an item; returns its index. The list does not own `object`.
  virtual int AddObject(const std::string& text, TObject* object) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  int Add(const std::string& text) { return AddObject(text, nullptr); }
  /// The index of the first item with exactly this text, or -1.
  int IndexOf(const std::string& text) const;
};

/// An unsorted string list held in memory.
class TStringList : public TStrings {
 public:
  int Count() const override { return static_cast<int>(items_.size()); }
  const std::string& Strings(int index) const override { return At(index).first; }
  TObject* Objects(int index) const override { return At(index).second; }
  int AddObject(const std::string& text, TObject* object) override;
  void Delete(int index) override;
  void Clear() override { items_.clear(); }

 private:
  const std::pair<std::string, TObject*>& At(int index) const;

  std::vector<std::pair<std::string, TObject*>> items_;
};

}  // namespace fw
