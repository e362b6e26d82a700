#pragma once

#include <map>
#include <string>

// A folder's contents as relative path ('/' separated, ANSI) to bytes; folders are "<dir>".
using FileTree = std::map<std::string, std::string>;

// Everything below `folder`; empty when it does not exist.
FileTree treeOf(const std::string& folder);
// Writes `files` below `folder` (ending with its separator), making the folders on the way.
void writeTree(const std::string& folder, const FileTree& files);
