#pragma once

#include <cstdint>
#include <string>

#include "components/xldl/xldl.h"

namespace xldl {

// What a caller sees of a task: the last state the engine published, or the state a control
// call has just asked for.
struct TaskSnapshot {
  std::int32_t state = kXlPaused;  // paused until started
  std::int32_t failCode = 0;
  std::string fileName;  // UTF-8, no folder
  std::int64_t totalLength = 0;
  std::int64_t completedLength = 0;
  std::int32_t speed = 0;

  bool operator==(const TaskSnapshot&) const = default;
};

struct TaskSpec {
  std::string url;
  std::string saveFolder;
  std::string fileName;
  // Set when the name or folder was refused: the task fails at its first start.
  bool refused = false;
};

// aria2's exit status values that the engine reports itself or acts on.
inline constexpr std::int32_t kErrorUnknown = 1;
inline constexpr std::int32_t kErrorTooSlow = 5;
inline constexpr std::int32_t kErrorCannotResume = 8;
inline constexpr std::int32_t kErrorNoRoom = 9;
inline constexpr std::int32_t kErrorFileCreate = 16;
inline constexpr std::int32_t kErrorWrongLength = 32;

// Refuses names that would put the file anywhere but directly inside the save folder.
bool IsPlainFileName(const std::string& name);
// An absolute folder without "." or ".." steps.
bool IsPlainFolder(const std::string& folder);
// Marks the recipe refused when its name, folder or address cannot be used.
void CheckRecipe(TaskSpec& recipe);

}  // namespace xldl
