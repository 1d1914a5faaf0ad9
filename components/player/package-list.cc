#include "components/player/package-list.h"

#include "components/vmbridge/vm-frame.h"

namespace runbox {

std::vector<std::string> PackageListTexts(const std::vector<InstalledPackage>& packages) {
  constexpr std::size_t kTextLimit = vmbridge::kMaxFrameData / 2;
  std::vector<std::string> texts(1);
  for (const InstalledPackage& package : packages) {
    if (texts.back().size() + package.name.size() + 1 > kTextLimit) texts.emplace_back();
    texts.back() += package.name + "\n";
  }
  for (std::size_t i = 0; i < texts.size(); ++i)
    texts[i].insert(0, i + 1 == texts.size() ? ".\n" : "+\n");
  return texts;
}

}  // namespace runbox
