// A library that another one needs: built twice under one name, once beside the library that
// needs it (where it belongs) and once beside the test program (planted there).
extern "C" __declspec(dllexport) int PlantedOrigin() {
    return PLANTED_ORIGIN;
}
