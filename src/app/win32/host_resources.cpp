#include "app/win32/host_resources.h"

#include <windows.h>

#include "app/win32/resource_ids.h"

std::string_view offlinePicture() {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(IDR_IMAGE_OFFLINE), "IMAGE");
    if (found == nullptr) return {};
    HGLOBAL loaded = LoadResource(nullptr, found);
    const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (bytes == nullptr) return {};
    // Resources stay mapped for the life of the process.
    return {static_cast<const char*>(bytes), SizeofResource(nullptr, found)};
}
