#include "base/win/handle_count.h"

#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <vector>

namespace kovracam {
namespace {

// The system handle table's layout (SystemHandleInformation).
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  void* object;
  ULONG access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};
using QuerySystemInformation = LONG(WINAPI*)(ULONG, void*, ULONG, ULONG*);
constexpr ULONG kSystemHandleInformation = 16;
constexpr LONG kInfoLengthMismatch = static_cast<LONG>(0xC0000004);

unsigned long handlesInSystemTable() {
  const auto query = reinterpret_cast<QuerySystemInformation>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<unsigned char> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status =
        query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
    if (status == kInfoLengthMismatch) {
      buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed));
      continue;
    }
    if (status < 0) return 0;
    const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
    const std::size_t fits = (buffer.size() - offsetof(HandleTable, entries)) / sizeof(HandleEntry);
    unsigned long mine = 0;
    for (ULONG i = 0; i < table->count && i < fits; ++i) {
      mine += table->entries[i].ownerPid == GetCurrentProcessId();
    }
    return mine;
  }
  return 0;
}

}  // namespace

unsigned long processHandleCount() {
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles) && handles != 0) return handles;
  return handlesInSystemTable();
}

}  // namespace kovracam
