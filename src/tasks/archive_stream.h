#pragma once

#include <ioapi.h>

#include "platform/os_error.h"

// minizip's file access through the platform's files, so that archive paths are the program's
// ANSI paths on every platform. A failed open, read or write of the zip's file puts its cause
// in *error, which must outlive the archive's handle.
zlib_filefunc64_def archiveFileFunctions(platform::OsError* error);
