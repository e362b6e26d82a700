// Loaded by its full path as the remote API library is; tells which copy of the library it
// needs the loader gave it.
extern "C" __declspec(dllimport) int PlantedOrigin();

extern "C" __declspec(dllexport) int ProbeOrigin() {
    return PlantedOrigin();
}
