// The language module the string-table fuzz target loads: it returns whatever block the target
// has put in place, as a module from outside would.

#include <cstdint>

extern "C" const void* kovracamFuzzBlock(std::uint32_t* size);  // in the fuzz target

extern "C" __attribute__((visibility("default"))) std::uint32_t GetLanguageID() { return 0x0409; }

extern "C" __attribute__((visibility("default"))) const void* GetStringBlock(std::uint32_t,
                                                                             std::uint32_t* size) {
  return kovracamFuzzBlock(size);
}
