// The one way a file is replaced: its bytes go to a temporary file beside it
// (named after it: "NAME.nvtmp-XXXXXX"), are flushed to the disk and renamed
// over it, and the folder is flushed too. Readers see the old file or the
// new one, never a torn one, also after a crash or a full disk; a leftover
// temporary is plainly the file's own.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

namespace nova::platform {

// The suffix of the temporaries, after the file's own name.
inline constexpr std::string_view kAtomicTempSuffix = ".nvtmp-";

// Writes the file with the permissions `mode` (before the umask). Answers 0,
// or the errno value of the step that failed (the file is then as it was,
// and the temporary is gone).
int write_file_atomically(const std::filesystem::path& path, std::span<const std::uint8_t> bytes, unsigned mode = 0644);
int write_file_atomically(const std::filesystem::path& path, std::string_view bytes, unsigned mode = 0644);

#ifdef NOVA_TEST_HOOKS
// Test builds only: writes of a path for which `fault` answers a non-zero
// errno value fail with it after the temporary was written (as a full disk
// would). An empty function removes the fault.
void set_atomic_write_fault(std::function<int(const std::filesystem::path&)> fault);
#endif

}  // namespace nova::platform
