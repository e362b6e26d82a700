#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tasks/http_transfer.h"
#include "tasks/task_context.h"

// Installing route books from the portal on the navigator. The page's argument lists one item
// per route book, <rb><url>package URL</url><name>route book name</name></rb>, with the URL's
// "&" written as they are.

// One item of the page's list.
struct ImportItem {
    std::string url;  // with its "&" back in place
    std::string name;
};
// The items of the page's argument: one for each top-level node from the first element on,
// where a node that is no item, or a child that is not named as expected, keeps the values
// before it. Nothing when the text is malformed or exceeds the page's argument limits (an
// empty text lists no items).
std::optional<std::vector<ImportItem>> readImportItems(std::string text);

// What an import installs, and whether its URLs may name packages on the PC.
struct ImportRequest {
    std::vector<ImportItem> items;
    LocalPackages local = LocalPackages::Refused;
};
// Downloads, unpacks and installs each item; posts progress, failures and the final code 0.
void runImport(TaskContext& context, const ImportRequest& request);
// The page's import: runImport for the items of its argument, from the network only.
void importWorker(TaskContext& context, std::string text);

// The most entries a package may hold: a route book is four files.
inline constexpr size_t kMaxPackageEntries = 10000;

// Whether the navigator has route book `name` (letter case ignored), in the list or in storage.
bool isPresent(const TaskContext& context, const std::string& name);
// The file name of that route book as the navigator has it.
std::optional<std::string> presentName(const TaskContext& context, const std::string& name);

enum class PackageInstall { Installed, Stopped, Failed };
// Installs the package folder/N.zip as route book N and lists it: unpacks it, copies the set to
// the navigator, then deletes the package and the unpacked set. Failed after a failure (posted;
// what the installation wrote is taken off again), Stopped on a stop request.
PackageInstall installPackage(TaskContext& context, const std::string& folder,
                              const std::string& name);

// Unpacks the package folder/N.zip into a folder of its own (unpackFolder) after checking the
// free space, gives the set found in it the package's name N and stamps its track. A package
// must hold exactly one track, at most kMaxPackageEntries entries and no two entries for one
// file (letter case ignored, either separator). Posts 6 or 10 on failure, and then leaves nothing
// unpacked.
bool unpackPackage(const TaskContext& context, const std::string& folder,
                   const std::string& packageName);
// Where unpackPackage puts the package folder/N.zip: folder/N.unpacked.
std::string unpackFolder(const std::string& folder, const std::string& packageName);
