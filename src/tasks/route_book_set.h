#pragma once

#include <string>
#include <vector>

#include "tasks/task_context.h"

// A route book N as a set of files in a folder F: F/N.trk (required), F/N.sim, F/N.poi and the
// folder F/N with the route file and its companions. These routines move such a set between a
// local folder and the navigator's track folder (the task's data root), post their own failures
// and wait while the task is paused. A copy stops early on a stop request; a removal always
// finishes, so that a stop never leaves half a set behind.

// An installation builds its set under this prefix + the run's name (platform::runName()) + '~'
// + N and moves it into place last: the listing passes over names that start with '.', so a set
// cut off by the end of the program never shows as a route book, and a later run knows what to
// take away, and whose it is while another instance installs.
inline constexpr const char* kInstallPrefix = ".~vi";
// The name an installation of N in this run builds its set under.
std::string installationName(const std::string& name);
// A replacement moves the old set aside under this prefix + the run's name + '~' + N for the
// instant it takes the new set to take its place.
inline constexpr const char* kParkPrefix = ".~vo";
std::string parkingName(const std::string& name);
// Whether the set N fits into `root` on the way in as well: the paths of its installation name
// stay within the navigator's limit too.
bool installationFits(const std::string& root, const std::string& name);

// What an installation put on the navigator: the files it wrote and the set's folder when it
// made that folder. A stopped installation takes off exactly these, never a file it found there.
struct InstalledFiles {
    std::vector<std::string> files;
    std::string createdFolder;
};

// Copies the set N from the local `folder` (N.trk, N.sim and the folder N with its files, each
// when there) to the data root, over the remote API or, for a navigator seen as a drive, with
// local copies: first under the installation's own name, then into place, the track last.
// Records what it put there in `written`. Posts 9 when a copy or the move into place fails, and
// then leaves nothing of the set on the navigator. False also after a stop request.
bool installRouteBook(const TaskContext& context, const std::string& folder,
                      const std::string& name, InstalledFiles& written);
// Replaces the set `existing` (a name the navigator takes for N, letter case aside) in the data
// root by the set N from the local `folder`, by a complete copy: the new set is copied under its
// installation name first, then the old one steps aside under its parking name, the new one
// takes its place (the track last) and the old one is removed. Posts 9 when a copy or a move
// fails, and then leaves the old set as it was and nothing of the new one. False also after a
// stop request that came before the new set took its place.
bool replaceRouteBook(const TaskContext& context, const std::string& folder,
                      const std::string& name, const std::string& existing);
// Deletes what an installation wrote, the last first. Over the remote API a deletion that fails
// posts 11. False when anything stays.
bool removeInstalledFiles(const TaskContext& context, const InstalledFiles& written);
// Removes the set from the data root over the remote API, the track last, so that a set a
// failure leaves half-removed is still listed and can be deleted again. Posts 11 and returns
// false when any of its files stays.
bool removeRouteBookRemote(const TaskContext& context, const std::string& name);
// Removes the set from a local folder, the track last, so that a set a failure leaves
// half-removed is still listed: false, with nothing touched, when there is no track file, and
// false when anything stays.
bool removeRouteBookLocal(const std::string& folder, const std::string& name);
// Copies the set from the navigator (over the remote API, or from its drive) into the local
// `folder`. A part the set has that cannot be searched for or read fails the copy with 9; a
// part it lacks (.sim, the folder) is left out. False also after a stop request.
bool copyRouteBookFromDevice(const TaskContext& context, const std::string& folder,
                             const std::string& name);
// Takes away what work cut off by the end of its run (the program killed, the cable pulled)
// left on the navigator: the copy or parked file of a replacement of each of `replaced`
// (navigator paths), made good as finishInterruptedReplacement does, and in the data root the
// sets of installations whose run has ended; a route book replacement cut off before the new
// set took its place gets the old set back, one cut off after it loses the parked old set. What
// a run that may still be going is installing or replacing stays.
void removeLeftovers(NavigatorState& device, ConnectionMode mode, const std::string& dataRoot,
                     const std::vector<std::string>& replaced);
