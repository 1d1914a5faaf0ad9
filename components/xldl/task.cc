#include "components/xldl/task.h"

#include "app/path-steps.h"

namespace xldl {

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool IsPlainFolder(const std::string& folder) {
  return !folder.empty() && folder[0] == '/' && folder.find('\0') == std::string::npos &&
         !lumo::HasDotStep(folder);
}

void CheckRecipe(TaskSpec& recipe) {
  recipe.refused = recipe.refused || !IsPlainFileName(recipe.fileName) ||
                   !IsPlainFolder(recipe.saveFolder) || recipe.url.empty();
}

}  // namespace xldl
