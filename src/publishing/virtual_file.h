// Virtual files: named, page-file-backed shared-memory blocks through which the modules of one
// process that carry the crash reporter exchange their options ("MODULE") and the last error
// they handled ("EXCEPT"). A block's name is the process id and the owning module's handle,
// each as 8 upper-case hexadecimal digits, then the block's own name. The block starts with its
// total size (data size + 4) as a 32-bit value, followed by the data.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace vl::publishing {

constexpr char kModuleFileName[] = "MODULE";
constexpr char kExceptFileName[] = "EXCEPT";
// The system-wide 4-byte flag block of the safecall handled test.
constexpr char kSafeCallsListName[] = "VANTORLOG_SAFECALLS_LIST";

std::string VirtualFileName(HMODULE module, const std::string& name);

// Creates the block with Size data bytes, or with Size 0 only opens an existing one (its size
// as stored in it). Returns the mapping handle and points Data at the data; none (null) when it
// cannot be created or, with Size 0, does not exist. When the block already exists (another
// holder keeps it open) it is taken as it is, and its size may differ from Size: DataSize, when
// given, receives the data size checked against the mapped memory at this moment. Use that size
// rather than the stored one, which any holder may change.
HANDLE CreateVirtualFile(HMODULE module, const std::string& name, size_t size, uint8_t*& data,
                         size_t* dataSize = nullptr);

// The data size an open block's header states now (its stored total size - 4). Any holder can
// change it: for bounds use the size CreateVirtualFile returned.
size_t VirtualFileDataSize(const uint8_t* data);

// Unmaps the view and closes the handle; clears both. Nothing happens without a handle.
void DeleteVirtualFile(HANDLE& handle, uint8_t*& data);

}  // namespace vl::publishing
