#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// shellapi.h's; that header wants to come after windows.h in each source file.
struct _SHFILEOPSTRUCTA;

// Every file and process call of the Win32 side goes through this one table, so that a test can
// put a failing call in one entry's place and see the real code path meet it.
namespace platform::win32 {

struct Syscalls {
    decltype(&::CreateFileA) createFile = &::CreateFileA;
    decltype(&::ReadFile) readFile = &::ReadFile;
    decltype(&::WriteFile) writeFile = &::WriteFile;
    decltype(&::CloseHandle) closeHandle = &::CloseHandle;
    decltype(&::MoveFileA) moveFile = &::MoveFileA;
    decltype(&::MoveFileExA) moveFileEx = &::MoveFileExA;
    // The rename over a target that others hold open.
    decltype(&::SetFileInformationByHandle) setFileInformation = &::SetFileInformationByHandle;
    decltype(&::CopyFileA) copyFile = &::CopyFileA;
    decltype(&::DeleteFileA) deleteFile = &::DeleteFileA;
    decltype(&::CreateDirectoryA) createDirectory = &::CreateDirectoryA;
    decltype(&::RemoveDirectoryA) removeDirectory = &::RemoveDirectoryA;
    decltype(&::GetFileAttributesA) getFileAttributes = &::GetFileAttributesA;
    decltype(&::FlushFileBuffers) flushFileBuffers = &::FlushFileBuffers;
    // The navigator's drive is reached by its own UTF-16 names.
    decltype(&::CreateFileW) createFileW = &::CreateFileW;
    decltype(&::MoveFileExW) moveFileExW = &::MoveFileExW;
    decltype(&::DeleteFileW) deleteFileW = &::DeleteFileW;
    decltype(&::CreateDirectoryW) createDirectoryW = &::CreateDirectoryW;
    decltype(&::RemoveDirectoryW) removeDirectoryW = &::RemoveDirectoryW;
    decltype(&::GetFileAttributesW) getFileAttributesW = &::GetFileAttributesW;
    decltype(&::WritePrivateProfileStringA) writeProfileString = &::WritePrivateProfileStringA;
    decltype(&::GetPrivateProfileStringA) getProfileString = &::GetPrivateProfileStringA;
    decltype(&::GetPrivateProfileIntA) getProfileInt = &::GetPrivateProfileIntA;
    // ShellExecuteA, which shellapi.h declares.
    HINSTANCE(WINAPI* shellExecute)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, INT) = nullptr;
    // SHFileOperationA, the same; the whole removal of a folder tree.
    int(WINAPI* shFileOperation)(::_SHFILEOPSTRUCTA*) = nullptr;
    decltype(&::GetFileType) getFileType = &::GetFileType;
    decltype(&::SetFilePointerEx) setFilePointer = &::SetFilePointerEx;
    decltype(&::GetFileSizeEx) getFileSize = &::GetFileSizeEx;
    decltype(&::SetFileTime) setFileTime = &::SetFileTime;
    decltype(&::GetFileInformationByHandle) getFileInformation = &::GetFileInformationByHandle;
    decltype(&::GetFileAttributesExA) getFileAttributesEx = &::GetFileAttributesExA;
    decltype(&::SetFileAttributesA) setFileAttributes = &::SetFileAttributesA;
    decltype(&::SetFileAttributesW) setFileAttributesW = &::SetFileAttributesW;
    decltype(&::FindFirstFileA) findFirstFile = &::FindFirstFileA;
    decltype(&::FindNextFileA) findNextFile = &::FindNextFileA;
    decltype(&::FindFirstFileW) findFirstFileW = &::FindFirstFileW;
    decltype(&::FindNextFileW) findNextFileW = &::FindNextFileW;
    decltype(&::FindClose) findClose = &::FindClose;
    decltype(&::GetFullPathNameA) getFullPathName = &::GetFullPathNameA;
    decltype(&::GetFullPathNameW) getFullPathNameW = &::GetFullPathNameW;
    decltype(&::GetDiskFreeSpaceExA) getDiskFreeSpace = &::GetDiskFreeSpaceExA;
};

// The table the seam calls through; the real system calls unless a test replaced an entry.
Syscalls& syscalls();

}  // namespace platform::win32
