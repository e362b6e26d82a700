#pragma once

// The navigator's saved places, address.poi, in memory. (Filled in with the POI operations.)
class PoiStore {};
