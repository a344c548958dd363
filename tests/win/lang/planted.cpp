// A library a language module imports, put where only an unsafe search finds it.
extern "C" __declspec(dllexport) int planted() { return 1; }
