#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lumo {

// The processor types (ABIs) the player's VM runs, as our player announces them on the bridge
// when it connects: one message of names separated by commas. Names that are not ABI names
// are dropped and the list is bounded; text that yields no name yields an empty list.
std::vector<std::string> ParseVmAbis(std::string_view text);

// "x86_64,x86": the list as the player sends it and as Lumo keeps it.
std::string JoinAbis(const std::vector<std::string>& abis);

// The list the player announced last, kept in Lumo's data folder so that a start without a
// running player still knows it. Any thread. Empty when no player has ever announced one.
std::vector<std::string> KnownVmAbis();
void RememberVmAbis(const std::vector<std::string>& abis);
// Where the list is kept; set once at start-up, before the bridge is created.
void SetVmAbisFolder(const std::string& folder);

// Why an APK with native code for `nativeCode` cannot run on a VM that runs `vmAbis`: empty
// when the APK has no native code, the VM's list is unknown, or they share an ABI.
std::string NativeCodeMismatch(const std::vector<std::string>& nativeCode,
                               const std::vector<std::string>& vmAbis);

}  // namespace lumo
