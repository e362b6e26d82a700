#pragma once

#include <ioapi.h>

// minizip's file access through the platform's files, so that archive paths are the program's
// ANSI paths on every platform.
zlib_filefunc64_def archiveFileFunctions();
