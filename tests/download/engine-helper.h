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

// Stops the manager and waits, pumping the UI loop, until its polling thread has let go of
// it and of the engine; then shuts the engine down on this thread. A test that ends with the
// polling thread still inside the engine's shutdown would race the process's exit.
bool ReleaseManager(std::shared_ptr<DownloadTaskMgr>* manager,
                    std::shared_ptr<ThunderWrapper>* engine);

}  // namespace lumo::test
