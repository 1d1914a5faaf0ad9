#pragma once

#include <string>
#include <vector>

namespace lumo {

class WorkerPool;

// The emulator player is a program of its own that Lumo installs, starts and stops. These
// functions keep no state; they run on the caller's thread, but for the jobs they hand to a
// WorkerPool.

inline constexpr char kPlayerImageName[] = "Runbox.exe";
inline constexpr char kPlayerFolderName[] = "LUMPlayer";
inline constexpr char kPlayerSetupFileName[] = "AKTInstaller.exe";
inline constexpr char kPlayerTaskKey[] = "player_task";

// The per-user programs folder ($XDG_DATA_HOME/Programs); LUMO_PROGRAMS_DIR replaces it, so
// tests install the player into a sandbox.
std::string ProgramFilesDir();
std::string PlayerInstallDir();
std::string PlayerExePath();
// The setup's address on the download host (cfglog.ini "playerHost", LUMO_PLAYER_HOST
// overrides it): the 64-bit setup on a 64-bit system.
std::string PlayerSetupUrl();
// setup path, "/S", "/NCRC", "/D=" + install folder: the folder is one argument, so spaces in
// it need no quoting.
std::vector<std::string> PlayerSetupCommand(const std::string& setupPath);

bool IsPlayerInstalled();
// A process whose executable is named exactly "Runbox.exe" runs in this session.
bool IsPlayerRunning();
// Starts the player without testing whether it is installed or running; always true.
bool LaunchPlayer();
// Ends the first player found and waits until no player is listed (at most 100 polls of
// 100 ms). True when a player was found and ended.
bool StopPlayer();
// Runs the setup silently as a job of `jobs` and posts MSG_PLAYER_SETUP_DONE when it has
// ended, whatever its result, also when it could not start. Always true.
bool InstallPlayerAsync(WorkerPool& jobs, const std::string& setupPath);

}  // namespace lumo
