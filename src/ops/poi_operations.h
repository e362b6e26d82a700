#pragma once

#include <string>

#include "ops/navigator_state.h"
#include "ops/poi_store.h"

// The page's methods on the navigator's saved places. The store is poi\address.poi beside the
// track folder; every call reads it afresh (in remote API mode through a temporary copy, which
// is removed after use). A place's id is its position in the store.

// The POI list document. When the navigator has no store yet, an empty one is created (and its
// poi folder where that is missing) and the answer is "". An existing store is never replaced
// by an empty one, also when it cannot be read.
std::string getPdaAddr(NavigatorState& device);
// The navigator's path of its store of saved places.
std::string poiStorePath(const NavigatorState& device);
// Adds the places of the page's XML text in front of the others; answers "". A failed copy
// to or from the navigator posts status code 9. The page is not told of a refused text;
// `editResult`, when given, receives addPois' result (left alone when the store was not read).
std::string poiToPDA(NavigatorState& device, const std::string& text, int* editResult = nullptr);
// Removes the places whose ids the text lists, separated by commas; answers "". A failed copy
// posts status code 2. `editResult` as for poiToPDA, with deletePois' result.
std::string deleteSelectedPoi(NavigatorState& device, const std::string& text,
                              int* editResult = nullptr);

// <?xml version="1.0" encoding="GB2312" ?><point page="1" count="N"><point id="I" ...>NAME
// </point>...</point>, names XML-escaped; "" when the count and the records disagree.
std::string buildPoiListXml(const PoiStore& store);
// Each top-level element of the XML text becomes a place at the front of the store (lng and lat
// from its attributes, the name from its text, at most 31 UTF-16 units, the time now). -1 when
// the text is not well-formed XML or exceeds the page's argument limits (nothing is added), else
// 1. A store whose version the program does not handle gets nothing.
int addPois(PoiStore& store, const std::string& text);
// Removes the records named by the comma-separated ids (atoi; empty tokens skipped), all
// referring to the store as it was before. -1 when an id is negative, out of range or repeated:
// then nothing is removed. A store whose version is not handled is left as it is (1).
int deletePois(PoiStore& store, const std::string& text);
