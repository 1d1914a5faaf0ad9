#include "components/player/package-record.h"

#include <fstream>
#include <sstream>

#include "apk/package-name.h"
#include "platform/file-system.h"

namespace runbox {

namespace {

// Fields are separated by tabs; names and labels never hold tabs or line ends in a badging.
std::string Clean(std::string text) {
  for (char& c : text)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  return text;
}

}  // namespace

PackageRecord::PackageRecord(std::string dataDir) : dataDir_(std::move(dataDir)) {}

void PackageRecord::Load(std::vector<std::string>* problems) {
  std::string text;
  std::map<std::string, InstalledPackage> loaded;
  if (lumo::platform::ReadWholeFile(dataDir_ + "/packages.txt", &text)) {
    std::istringstream in(text);
    int number = 0;
    for (std::string line; std::getline(in, line);) {
      ++number;
      std::istringstream fields(line);
      InstalledPackage package;
      std::string size;
      if (!std::getline(fields, package.name, '\t') || !std::getline(fields, package.label, '\t') ||
          !std::getline(fields, package.activity, '\t') || !std::getline(fields, size) ||
          !lumo::IsValidPackageName(package.name) ||
          size.find_first_not_of("0123456789") != std::string::npos) {
        problems->push_back("packages.txt line " + std::to_string(number) + " skipped");
        continue;
      }
      package.size = std::stoull(size.empty() ? "0" : size);
      loaded[package.name] = package;
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  packages_ = std::move(loaded);
}

bool PackageRecord::Has(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  return packages_.count(name) != 0;
}

bool PackageRecord::Get(const std::string& name, InstalledPackage* package) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = packages_.find(name);
  if (it == packages_.end()) return false;
  *package = it->second;
  return true;
}

bool PackageRecord::Put(const InstalledPackage& package) {
  if (!lumo::IsValidPackageName(package.name)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<std::string, InstalledPackage> next = packages_;
  next[package.name] = package;
  if (!Save(next)) return false;
  packages_ = std::move(next);
  return true;
}

bool PackageRecord::Remove(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<std::string, InstalledPackage> next = packages_;
  if (next.erase(name) == 0) return false;
  if (!Save(next)) return false;
  packages_ = std::move(next);
  return true;
}

std::vector<InstalledPackage> PackageRecord::List() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<InstalledPackage> list;
  for (const auto& entry : packages_) list.push_back(entry.second);
  return list;
}

std::string PackageRecord::PackageFile(const std::string& name) const {
  if (!lumo::IsValidPackageName(name)) return {};
  return dataDir_ + "/apps/" + name + ".apk";
}

bool PackageRecord::Save(const std::map<std::string, InstalledPackage>& packages) const {
  std::ostringstream out;
  for (const auto& [name, package] : packages) {
    out << Clean(name) << '\t' << Clean(package.label) << '\t' << Clean(package.activity) << '\t'
        << package.size << '\n';
  }
  return lumo::platform::WriteFileAtomically(dataDir_ + "/packages.txt", out.str());
}

}  // namespace runbox
