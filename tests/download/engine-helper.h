#pragma once

#include <memory>
#include <string>

#include "components/xldl/xldl.h"
#include "download/download-task-mgr.h"
#include "download/thunder-wrapper.h"

namespace lumo::test {

// The engine library as built into the program folder.
std::string EngineLibraryPath();
std::shared_ptr<ThunderWrapper> LoadEngine();

// Queries until the task is complete or failed; the last answer (stat 0 on timeout).
DownTaskInfo WaitForEnd(ThunderWrapper& engine, XlHandle task, int timeoutSeconds = 90);
bool FileExists(const std::string& path);

// Ends the manager and its polling thread, pumping the UI loop meanwhile, until it has let go
// of the engine; then shuts the engine down on this thread.
bool ReleaseManager(std::shared_ptr<DownloadTaskMgr>* manager,
                    std::shared_ptr<ThunderWrapper>* engine);

}  // namespace lumo::test
