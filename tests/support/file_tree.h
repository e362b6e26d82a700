#pragma once

#include <map>
#include <string>

// A folder's contents as relative path ('/' separated, ANSI) to bytes; folders are "<dir>".
using FileTree = std::map<std::string, std::string>;

// Everything below `folder`; empty when it does not exist.
FileTree treeOf(const std::string& folder);
// Writes `files` below `folder` (ending with its separator), making the folders on the way.
void writeTree(const std::string& folder, const FileTree& files);

// The files below `folder` with their names in UTF-8 ('/' separated), so that names no ANSI
// code page holds are kept; links and anything else that is no regular file are left out.
FileTree unicodeTreeOf(const std::string& folder);
// Writes one file below `folder` under a UTF-8 relative name ('/' separated), making its
// folders on the way.
void writeUnicodeFile(const std::string& folder, const std::string& name, const std::string& bytes);
