#pragma once

#include <memory>
#include <string>

#include "components/xldl/xldl.h"
#include "download/thunder-wrapper.h"

namespace lumo::test {

// The engine library as built into the program folder.
std::string EngineLibraryPath();
std::shared_ptr<ThunderWrapper> LoadEngine();

DownTaskParam MakeTaskParam(const std::string& url, const std::string& folder,
                            const std::string& fileName);
// Queries until the task is complete or failed; the last answer (stat 0 on timeout).
DownTaskInfo WaitForEnd(ThunderWrapper& engine, XlHandle task, int timeoutSeconds = 90);
std::string InfoFileName(const DownTaskInfo& info);
bool FileExists(const std::string& path);

}  // namespace lumo::test
