#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace runbox {

struct InstalledPackage {
  std::string name;
  std::string label;
  std::string activity;
  unsigned long long size = 0;
};

// The player's own record of installed packages: one line per package in "packages.txt" in
// its data folder, rewritten whole through a temporary file so a crash never tears it.
class PackageRecord {
 public:
  explicit PackageRecord(std::string dataDir);
  // Reads the file; a line that does not parse is skipped and reported in `problems`.
  void Load(std::vector<std::string>* problems);
  bool Has(const std::string& name) const;
  bool Get(const std::string& name, InstalledPackage* package) const;
  // False when the file cannot be written or the name is not a package name; the record is
  // then unchanged.
  bool Put(const InstalledPackage& package);
  bool Remove(const std::string& name);
  std::vector<InstalledPackage> List() const;
  const std::string& dataDir() const { return dataDir_; }
  // Where the installed copy of a package lives; empty for a name that is not a package name.
  std::string PackageFile(const std::string& name) const;

 private:
  bool Save(const std::map<std::string, InstalledPackage>& packages) const;

  std::string dataDir_;
  mutable std::mutex mutex_;
  std::map<std::string, InstalledPackage> packages_;
};

}  // namespace runbox
