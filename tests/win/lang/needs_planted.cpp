// Makes the language module it is linked into import planted.dll.
extern "C" __declspec(dllimport) int planted();
extern "C" __declspec(dllexport) int usesPlanted() { return planted(); }
